#pragma once

#include "ColorValue.h"

#include <QImage>
#include <array>

namespace kelviq {

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
    // Keeps 1-bit and 8-bit palette pictures as they are; other formats become 32-bit RGB,
    // with any transparency flattened over white.
    static Raster fromImage(const QImage& image);

    bool isNull() const { return m_layout == Layout::Empty; }
    int width() const { return m_image.width(); }
    int height() const { return m_image.height(); }
    Layout layout() const { return m_layout; }

    // The colour shown at column x, row y (top-left origin), or NoColor outside the picture.
    ColorValue point(int x, int y) const;

    // Colour of palette index i (Bits and Indexed layouts). Indices the file's palette does
    // not define read as black.
    ColorValue paletteColor(int index) const { return m_palette[static_cast<std::size_t>(index)]; }
    const uchar* row(int y) const { return m_image.constScanLine(y); }

    // The picture as it is traced, for showing on screen. May copy a palette picture whose
    // palette needed fixing, so a caller that only converts should not ask for it.
    QImage shownImage() const;

private:
    QImage m_image;
    Layout m_layout = Layout::Empty;
    bool m_paletteFixed = false;
    std::array<ColorValue, 256> m_palette{};
};

} // namespace kelviq
