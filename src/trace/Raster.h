#pragma once

#include "trace/ColorValue.h"

#include <QImage>
#include <array>
#include <memory>

namespace kelviq {

class BmpRowSource;

// A picture as the conversion sees it: every pixel's colour as shown over white, read from
// the decoded image in its own compact form (1 bit, 1 byte or 4 bytes a pixel).
class Raster
{
public:
    enum class Layout
    {
        Empty,
        Bits,
        Indexed,
        Rgb
    };

    Raster() = default;
    // Keeps 1-bit, 8-bit palette and 8-bit grey pictures as they are (grey as a palette of
    // greys); other formats become 32-bit RGB, with any transparency flattened over white (in
    // place, when the image is not shared and has 32 bits a pixel already).
    static Raster fromImage(QImage image);
    // A picture whose rows are read from its file while it is converted.
    static Raster fromRows(std::shared_ptr<const BmpRowSource> rows);

    bool isNull() const { return m_layout == Layout::Empty; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    Layout layout() const { return m_layout; }

    // The colour shown at column x, row y (top-left origin), or NoColor outside the picture.
    ColorValue point(int x, int y) const;

    // Colour of palette index i (Bits and Indexed layouts). Indices the file's palette does
    // not define read as black.
    ColorValue paletteColor(int index) const { return m_palette[static_cast<std::size_t>(index)]; }
    // Row y in layout(); for a picture read from its file, valid until the next row() call.
    const uchar* row(int y) const { return m_rows ? streamedRow(y) : m_image.constScanLine(y); }
    // Why rows could not be read from the picture's file; empty while all went well.
    QString readError() const;

    // The picture as it is traced, for showing on screen. May copy a palette picture whose
    // palette needed fixing, so a caller that only converts should not ask for it. A picture
    // read from its file is decoded whole here.
    QImage shownImage() const;

private:
    const uchar* streamedRow(int y) const;

    QImage m_image;
    std::shared_ptr<const BmpRowSource> m_rows;
    int m_width = 0;
    int m_height = 0;
    Layout m_layout = Layout::Empty;
    bool m_paletteFixed = false;
    std::array<ColorValue, 256> m_palette{};
};

} // namespace kelviq
