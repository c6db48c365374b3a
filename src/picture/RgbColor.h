#pragma once

#include "trace/ColorValue.h"

#include <QRgb>

namespace kelviq {

// Qt's colours and the tracer's: a QRgb is the pixel word the tracer reads.
constexpr ColorValue colorValueFromRgb(QRgb rgb)
{
    return colorValueFromWord(rgb);
}

constexpr QRgb rgbFromColorValue(ColorValue value)
{
    return wordFromColorValue(value);
}

} // namespace kelviq
