#pragma once

#include "plot/PlotStyle.h"
#include "plot/Shape.h"

#include <QImage>

namespace kelviq {

// Fills shapes into a 1-bit picture on the traced pixels' grid (black where filled), as a
// reader of the written file fills them: even-odd, from the contours alone. Each vertical edge
// flips the pixels right of it on the rows it spans; finish() then sweeps every row from the
// left. On the bottom side the corners land where the writers put them, mirrored about the
// picture's centre: column boundary x at columns - x (PlotGeometry).
class ShapeRaster
{
public:
    ShapeRaster(int columns, int rows, BoardSide side);

    // True when there was no memory for the picture: shapes are then left out.
    bool isNull() const { return m_image.isNull(); }
    void add(const Shape& shape);
    // The filled picture; nothing may be added after.
    QImage finish();

private:
    void addContour(const Contour& contour);

    QImage m_image;
    uchar* m_bits = nullptr;
    qsizetype m_bytesPerLine = 0;
    int m_columns;
    bool m_mirrored;
};

} // namespace kelviq
