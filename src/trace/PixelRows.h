#pragma once

#include "trace/ColorValue.h"

#include <array>
#include <string>

namespace kelviq {

// Where the pixels to trace come from: a picture's rows in its own compact form, the colours
// as shown over white. Decoded pictures hold every row in memory; a plain bitmap file may
// instead be read row by row while it is converted.
class PixelRows
{
public:
    enum class Layout
    {
        Empty,
        Bits,    // a bit a pixel, the first pixel in the top bit, indices into the palette
        Indexed, // a byte a pixel, an index into the palette
        Rgb      // an RgbWord a pixel
    };
    // Colours of the indices of Bits and Indexed rows; indices the picture does not define
    // read as black.
    using Palette = std::array<ColorValue, 256>;

    virtual ~PixelRows() = default;
    PixelRows(const PixelRows&) = delete;
    PixelRows& operator=(const PixelRows&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    Layout layout() const { return m_layout; }
    const Palette& palette() const { return m_palette; }

    // Row y from the top, in layout(). Rows read from a file are valid until the next call.
    virtual const unsigned char* row(int y) const = 0;
    // Why rows could not be read from the picture's file (UTF-8); empty while all went well.
    virtual std::string readError() const { return {}; }

protected:
    PixelRows(int width, int height, Layout layout, const Palette& palette)
        : m_width(width), m_height(height), m_layout(layout), m_palette(palette)
    {
    }

private:
    int m_width;
    int m_height;
    Layout m_layout;
    Palette m_palette;
};

} // namespace kelviq
