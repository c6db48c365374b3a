#pragma once

#include <QRgb>
#include <cstdint>

namespace kelviq {

// A colour laid out as 0x00BBGGRR (red in the lowest byte); -1 means "no colour", e.g. a
// point outside the picture. Colours compare equal only when all 24 colour bits agree.
using ColorValue = std::int32_t;

inline constexpr ColorValue NoColor = -1;

constexpr ColorValue colorValueFromRgb(QRgb rgb)
{
    return static_cast<ColorValue>(qRed(rgb) | (qGreen(rgb) << 8) | (qBlue(rgb) << 16));
}

constexpr QRgb rgbFromColorValue(ColorValue value)
{
    return qRgb(value & 0xff, (value >> 8) & 0xff, (value >> 16) & 0xff);
}

} // namespace kelviq
