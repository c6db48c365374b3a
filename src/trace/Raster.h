#pragma once

#include "trace/ColorValue.h"
#include "trace/PixelRows.h"

#include <memory>
#include <string>

namespace kelviq {

// A picture as the conversion sees it: every pixel's colour as shown over white, read from its
// rows. A value: copies share the rows, so the window and a run can each hold the picture.
class Raster
{
public:
    using Layout = PixelRows::Layout;

    Raster() = default;
    explicit Raster(std::shared_ptr<const PixelRows> rows);

    bool isNull() const { return !m_rows; }
    int width() const { return m_rows ? m_rows->width() : 0; }
    int height() const { return m_rows ? m_rows->height() : 0; }
    Layout layout() const { return m_rows ? m_rows->layout() : Layout::Empty; }

    // The colour shown at column x, row y (top-left origin), or NoColor outside the picture.
    ColorValue point(int x, int y) const;

    // Colour of palette index i (Bits and Indexed layouts). Indices the file's palette does
    // not define read as black.
    ColorValue paletteColor(int index) const
    {
        return m_rows->palette()[static_cast<std::size_t>(index)];
    }
    // Row y in layout(); for a picture read from its file, valid until the next row() call.
    const unsigned char* row(int y) const { return m_rows->row(y); }
    // Why rows could not be read from the picture's file (UTF-8); empty while all went well.
    std::string readError() const { return m_rows ? m_rows->readError() : std::string(); }

private:
    std::shared_ptr<const PixelRows> m_rows;
};

} // namespace kelviq
