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
    static const ChannelTable table;
    for (std::size_t i = 0; i < pixels; ++i, rgba += 4) {
        const std::uint32_t alpha = rgba[3];
        std::uint32_t r = rgba[0];
        std::uint32_t g = rgba[1];
        std::uint32_t b = rgba[2];
        if (alpha != 255) {
            const std::uint8_t* row = table.shown.data() + alpha * 256;
            r = row[r];
            g = row[g];
            b = row[b];
        }
        argb[i] = 0xff000000u | r << 16 | g << 8 | b;
    }
}

} // namespace kelviq
