#pragma once

#include <cstdint>

namespace kelviq {

// A colour laid out as 0x00BBGGRR (red in the lowest byte); -1 means "no colour", e.g. a
// point outside the picture. Colours compare equal only when all 24 colour bits agree.
using ColorValue = std::int32_t;

inline constexpr ColorValue NoColor = -1;

// A pixel of a picture held four bytes a pixel: the word 0xAARRGGBB.
using RgbWord = std::uint32_t;

constexpr int redOf(ColorValue value)
{
    return value & 0xff;
}

constexpr int greenOf(ColorValue value)
{
    return (value >> 8) & 0xff;
}

constexpr int blueOf(ColorValue value)
{
    return (value >> 16) & 0xff;
}

constexpr ColorValue colorValue(int red, int green, int blue)
{
    return static_cast<ColorValue>((red & 0xff) | ((green & 0xff) << 8) | ((blue & 0xff) << 16));
}

// The colour of a pixel word; its alpha does not count.
constexpr ColorValue colorValueFromWord(RgbWord word)
{
    return colorValue(static_cast<int>((word >> 16) & 0xff), static_cast<int>((word >> 8) & 0xff),
                      static_cast<int>(word & 0xff));
}

// The opaque pixel word of a colour.
constexpr RgbWord wordFromColorValue(ColorValue value)
{
    return 0xff000000u | (static_cast<RgbWord>(redOf(value)) << 16) |
           (static_cast<RgbWord>(greenOf(value)) << 8) | static_cast<RgbWord>(blueOf(value));
}

} // namespace kelviq
