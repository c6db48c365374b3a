#include "plot/PlotStyle.h"

#include <algorithm>
#include <array>

namespace kelviq::plotstyle {

namespace {

constexpr std::array<std::string_view, 2> Shapes = {"lines", "outline"};
constexpr std::array<std::string_view, 2> Sides = {"top", "bottom"};
constexpr std::array<std::string_view, 3> Layers = {"silkscreen", "mask", "copper"};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

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
        // std::equal, not std::ranges::equal: emscripten's C++ library has no ranges algorithms.
        if (names[i].size() == text.size() &&
            std::equal(names[i].begin(), names[i].end(), text.begin(),
                       [](char a, char b) { return lower(a) == lower(b); }))
            return static_cast<int>(i);
    }
    return std::nullopt;
}

} // namespace kelviq::plotstyle
