#include "plot/PlotStyle.h"

#include "plot/AsciiCase.h"

#include <array>

namespace kelviq::plotstyle {

namespace {

constexpr std::array<std::string_view, 2> Shapes = {"lines", "outline"};
constexpr std::array<std::string_view, 2> Sides = {"top", "bottom"};
constexpr std::array<std::string_view, 3> Layers = {"silkscreen", "mask", "copper"};

} // namespace

std::span<const std::string_view> shapeNames()
{
    return Shapes;
}

std::span<const std::string_view> sideNames()
{
    return Sides;
}

std::span<const std::string_view> layerNames()
{
    return Layers;
}

std::optional<int> indexOf(std::span<const std::string_view> names, std::string_view text)
{
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (equalIgnoringAsciiCase(names[i], text))
            return static_cast<int>(i);
    }
    return std::nullopt;
}

} // namespace kelviq::plotstyle
