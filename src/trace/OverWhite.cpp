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

bool OverWhite::flatten(RgbWord* pixels, std::size_t count)
{
    // Most pictures are opaque: one branch-free pass (vector instructions) tells, and only
    // pictures with see-through pixels are gone through again.
    RgbWord all = 0xffffffffu;
    for (std::size_t i = 0; i < count; ++i)
        all &= pixels[i];
    if ((all >> 24) == 0xffu)
        return false;
    static const ChannelTable table;
    for (std::size_t i = 0; i < count; ++i) {
        const RgbWord word = pixels[i];
        const RgbWord alpha = word >> 24;
        if (alpha == 0xffu)
            continue;
        const std::uint8_t* shown = table.shown.data() + alpha * 256;
        pixels[i] = 0xff000000u | RgbWord(shown[(word >> 16) & 0xffu]) << 16 |
                    RgbWord(shown[(word >> 8) & 0xffu]) << 8 | shown[word & 0xffu];
    }
    return true;
}

} // namespace kelviq
