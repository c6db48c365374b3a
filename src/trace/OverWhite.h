#pragma once

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

    // Rows of red, green, blue, alpha bytes (as a canvas holds them) as opaque 0xFFRRGGBB
    // words, the layout of the tracer's 32-bit rows. rgba and argb may not overlap.
    static void flattenRgba(const std::uint8_t* rgba, std::uint32_t* argb, std::size_t pixels);

private:
    // x / 255 rounded to nearest, exact for the products of two bytes.
    static constexpr unsigned divideBy255(unsigned x) { return (x + (x >> 8) + 0x80) >> 8; }
};

} // namespace kelviq
