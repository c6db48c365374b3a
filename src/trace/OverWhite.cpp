#include "trace/OverWhite.h"

#include <array>

namespace kelviq {

namespace {

// channel() for every value and alpha: one table lookup a channel.
struct ChannelTable
{
    std::array<std::uint8_t, 256 * 256> shown{};
    ChannelTable()
    {
        for (unsigned alpha = 0; alpha < 256; ++alpha)
            for (unsigned value = 0; value < 256; ++value)
                shown[alpha * 256 + value] = OverWhite::channel(static_cast<std::uint8_t>(value),
                                                                static_cast<std::uint8_t>(alpha));
    }
};

} // namespace

void OverWhite::flattenRgba(const std::uint8_t* rgba, std::uint32_t* argb, std::size_t pixels)
{
    // Opaque pixels only change their byte order; written without branches, the loop runs on
    // vector instructions. The rare partly transparent pixels are mended afterwards.
    bool seeThrough = false;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint32_t r = rgba[4 * i];
        const std::uint32_t g = rgba[4 * i + 1];
        const std::uint32_t b = rgba[4 * i + 2];
        seeThrough |= rgba[4 * i + 3] != 255;
        argb[i] = 0xff000000u | r << 16 | g << 8 | b;
    }
    if (!seeThrough)
        return;
    static const ChannelTable table;
    for (std::size_t i = 0; i < pixels; ++i) {
        const std::uint32_t alpha = rgba[4 * i + 3];
        if (alpha == 255)
            continue;
        const std::uint8_t* shown = table.shown.data() + alpha * 256;
        argb[i] = 0xff000000u | std::uint32_t(shown[rgba[4 * i]]) << 16 |
                  std::uint32_t(shown[rgba[4 * i + 1]]) << 8 | shown[rgba[4 * i + 2]];
    }
}

} // namespace kelviq
