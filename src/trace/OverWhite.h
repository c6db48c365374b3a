#pragma once

#include "trace/ColorValue.h"

#include <cstddef>
#include <cstdint>

namespace kelviq {

// Transparent pixels are traced as they look painted on white, to the last bit as Qt's painter
// paints them: the colour premultiplied by its alpha, plus white times what shows through,
// each product divided by 255 with the painter's rounding. So a picture decoded elsewhere (in
// a web browser) traces exactly as the same picture in the converter.
class OverWhite
{
public:
    // One colour channel of value with the pixel's alpha, as shown on white.
    static constexpr std::uint8_t channel(std::uint8_t value, std::uint8_t alpha)
    {
        return static_cast<std::uint8_t>(divideBy255(unsigned(value) * alpha) +
                                         divideBy255(255u * (255u - alpha)));
    }

    // Pixel words 0xAARRGGBB (in memory blue, green, red, alpha: what a BGRA decoder writes)
    // made opaque in place, each as it shows on white. Tells whether any was not opaque.
    static bool flatten(RgbWord* pixels, std::size_t count);

private:
    // x / 255 rounded to nearest, exact for the products of two bytes.
    static constexpr unsigned divideBy255(unsigned x) { return (x + (x >> 8) + 0x80) >> 8; }
};

} // namespace kelviq
