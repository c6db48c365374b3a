#pragma once

#include <optional>
#include <span>
#include <string_view>

namespace kelviq {

// What the plot draws: a line segment per run of traced pixels, or the traced pixels' exact
// outlines as filled shapes.
enum class PlotShape
{
    Lines,
    Outline
};

// The side of the board the artwork goes on. The bottom is seen from below, so its plot is the
// top's mirror image.
enum class BoardSide
{
    Top,
    Bottom
};

// The layer the artwork goes on, for formats that say which layer a file is.
enum class BoardLayer
{
    Silkscreen,
    Mask,
    Copper
};

// How a plot is drawn besides its size: the defaults are the plot as it has always been.
struct PlotStyle
{
    PlotShape shape = PlotShape::Lines;
    BoardSide side = BoardSide::Top;
    BoardLayer layer = BoardLayer::Silkscreen;
};

namespace plotstyle {

// The names the converter takes and shows, in the order of each enum's values: "lines",
// "outline"; "top", "bottom"; "silkscreen", "mask", "copper".
std::span<const std::string_view> shapeNames();
std::span<const std::string_view> sideNames();
std::span<const std::string_view> layerNames();

// Which of names a text is, in any case of its ASCII letters.
std::optional<int> indexOf(std::span<const std::string_view> names, std::string_view text);

} // namespace plotstyle

} // namespace kelviq
