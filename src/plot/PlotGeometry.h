#pragma once

#include "plot/PlotStyle.h"
#include "trace/Run.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <vector>

namespace kelviq {

// Where a run of pixels lands on the plot: column x at X = (x × scale) × 100, row y at
// Y = ((rows − 1 − y) × scale) × 100, products formed in that order so that fractional scales
// round the way plots always have. A run reaching the last column ends on that column.
//
// On the bottom side X is mirrored about the picture's centre: column boundary x lands where
// boundary (columns − x) lands on the top, computed the same way, so the bottom plot is the
// top plot's mirror image to the last digit. Every writer takes its X from here. An outline
// plot fills the pixels' squares, whose corners reach the edges of the picture's area.
class PlotGeometry
{
public:
    PlotGeometry(int columns, int rows, double pixelMils, BoardSide side = BoardSide::Top,
                 PlotShape shape = PlotShape::Lines)
        : m_columns(columns), m_rows(rows), m_pixelMils(pixelMils),
          m_mirrored(side == BoardSide::Bottom), m_shape(shape)
    {
    }

    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    double pixelMils() const { return m_pixelMils; }
    BoardSide side() const { return m_mirrored ? BoardSide::Bottom : BoardSide::Top; }
    PlotShape shape() const { return m_shape; }

    // A column boundary's X (column x's left edge; x = columns is the right edge of the last).
    double x(int column) const { return unmirroredX(m_mirrored ? m_columns - column : column); }
    // A row's line.
    double y(int row) const { return ((m_rows - 1 - row) * m_pixelMils) * 100.0; }
    // The Y of grid line `line` between rows (0 at the top of the picture, rows at its
    // bottom): the top edge of row `line`, its line plus half a pixel. One number per grid
    // line, so the corner two pixels share reads the same from both.
    double cornerY(int line) const { return y(line) + halfPixel(); }

    // The picture's area on the plot, in plot units: column x spans x to x + 1, and a row's
    // lines run through the middle of its band, so row y spans y(row) ± half a pixel. On the
    // bottom side left and right swap.
    double areaLeft() const { return x(0); }
    double areaRight() const { return x(m_columns); }
    double areaBottom() const { return y(m_rows - 1) - halfPixel(); }
    double areaTop() const { return y(0) + halfPixel(); }

    // The middle of the picture's area.
    double centreX() const { return (areaLeft() + areaRight()) / 2; }
    double centreY() const { return (areaBottom() + areaTop()) / 2; }

    // How far from the origin (or from originX, originY) what is written reaches, in plot
    // units: the largest distance along X or Y of an end of the first or last column or row -
    // of the picture's area for outlines; infinity when one is not a number.
    double farthest(double originX = 0.0, double originY = 0.0) const
    {
        double most = 0.0;
        auto take = [&most](double v) {
            most = v == v ? std::max(most, std::abs(v)) : std::numeric_limits<double>::infinity();
        };
        for (const double v : {x(0), x(m_columns - 1)})
            take(v - originX);
        for (const double v : {y(0), y(m_rows - 1)})
            take(v - originY);
        if (m_shape == PlotShape::Outline) {
            take(x(m_columns) - originX);
            for (const double v : {cornerY(0), cornerY(m_rows)})
                take(v - originY);
        }
        return most;
    }

    // The columns whose X a run's segment starts and ends at: its first pixel and one past
    // it, or the last column. On the bottom side the mirrored segment runs the same way as
    // on the top (left to right), so it starts at the mirror of the end.
    int startColumn(const Run& run) const { return m_mirrored ? lastColumn(run) : run.begin; }
    int endColumn(const Run& run) const { return m_mirrored ? run.begin : lastColumn(run); }
    // A row's k-th run in the order its segments are written: left to right on the plot, so
    // from the picture's right on the bottom side.
    const Run& runAt(const std::vector<Run>& runs, std::size_t k) const
    {
        return runs[m_mirrored ? runs.size() - 1 - k : k];
    }
    // Whether contours are written backwards: a mirror turns them the other way round, and
    // outlines keep running counter-clockwise and holes clockwise as the plot is seen.
    bool reversesContours() const { return m_mirrored; }

private:
    double unmirroredX(int column) const { return (column * m_pixelMils) * 100.0; }
    double halfPixel() const { return (0.5 * m_pixelMils) * 100.0; }
    int lastColumn(const Run& run) const { return run.end >= m_columns ? m_columns - 1 : run.end; }

    int m_columns;
    int m_rows;
    double m_pixelMils;
    bool m_mirrored;
    PlotShape m_shape;
};

} // namespace kelviq
