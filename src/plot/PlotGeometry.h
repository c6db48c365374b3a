#pragma once

#include "trace/Run.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace kelviq {

// Where a run of pixels lands on the plot: column x at X = (x × scale) × 100, row y at
// Y = ((rows − 1 − y) × scale) × 100, products formed in that order so that fractional scales
// round the way plots always have. A run reaching the last column ends on that column.
class PlotGeometry
{
public:
    PlotGeometry(int columns, int rows, double pixelMils)
        : m_columns(columns), m_rows(rows), m_pixelMils(pixelMils)
    {
    }

    int columns() const { return m_columns; }
    int rows() const { return m_rows; }
    double pixelMils() const { return m_pixelMils; }

    double x(int column) const { return (column * m_pixelMils) * 100.0; }
    double y(int row) const { return ((m_rows - 1 - row) * m_pixelMils) * 100.0; }

    // The picture's area on the plot, in plot units: column x spans x to x + 1, and a row's
    // lines run through the middle of its band, so row y spans y(row) ± half a pixel.
    double areaLeft() const { return x(0); }
    double areaRight() const { return x(m_columns); }
    double areaBottom() const { return y(m_rows - 1) - halfPixel(); }
    double areaTop() const { return y(0) + halfPixel(); }

    // How far from the origin the segments' ends reach, in plot units: the largest size of
    // an end of the first or last column or row; infinity when one is not a number.
    double farthest() const
    {
        double most = 0.0;
        for (const double v : {x(0), x(m_columns - 1), y(0), y(m_rows - 1)})
            most = v == v ? std::max(most, std::abs(v)) : std::numeric_limits<double>::infinity();
        return most;
    }

    // The column a run's segment ends on: one past the run, or the last column.
    int endColumn(const Run& run) const { return run.end >= m_columns ? m_columns - 1 : run.end; }

private:
    double halfPixel() const { return (0.5 * m_pixelMils) * 100.0; }

    int m_columns;
    int m_rows;
    double m_pixelMils;
};

} // namespace kelviq
