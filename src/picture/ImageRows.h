#pragma once

#include "trace/PixelRows.h"
#include "trace/Raster.h"

#include <QImage>

namespace kelviq {

// The rows of a decoded picture held whole in memory, in a layout the tracer reads.
class ImageRows : public PixelRows
{
public:
    // image must be Format_Mono for Bits, Format_Indexed8 or Format_Grayscale8 for Indexed and
    // Format_RGB32 for Rgb.
    ImageRows(QImage image, Layout layout, const Palette& palette);

    const unsigned char* row(int y) const override
    {
        return m_bits + static_cast<qsizetype>(y) * m_bytesPerLine;
    }

private:
    const QImage m_image;
    const uchar* m_bits;
    qsizetype m_bytesPerLine;
};

// A decoded picture as it is traced. Keeps 1-bit, 8-bit palette and 8-bit grey pictures as
// they are (grey as a palette of greys); other formats become 32-bit RGB, with any
// transparency flattened over white (in place, when the image is not shared and has 32 bits a
// pixel already). A null raster when the image is null or memory ran out.
Raster rasterFromImage(QImage image);

} // namespace kelviq
