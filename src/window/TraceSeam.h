#pragma once

// Stand-in for the core's Tracer and PlotGeometry until they land; same interface.
#include "ColorValue.h"
#include "Raster.h"
#include "RunFinder.h"

#include <functional>
#include <vector>

namespace kelviq {

struct TraceSettings
{
    ColorValue target = 0;
    int tolerance = 0;
    bool invert = false;
    int despeckle = 0;
};

class Tracer
{
public:
    Tracer(const Raster& raster, const TraceSettings& settings)
        : m_raster(raster), m_finder(raster, settings.target)
    {
    }
    void setRowReadHandler(std::function<bool(int y)> handler) { m_handler = std::move(handler); }
    bool nextRow(int& y, std::vector<Run>& runs)
    {
        if (m_stopped || m_y >= m_raster.height())
            return false;
        if (m_handler && !m_handler(m_y)) {
            m_stopped = true;
            return false;
        }
        m_finder.findRuns(m_y, runs);
        y = m_y++;
        return true;
    }

private:
    const Raster& m_raster;
    RunFinder m_finder;
    std::function<bool(int)> m_handler;
    int m_y = 0;
    bool m_stopped = false;
};

struct Segment
{
    double x1, y1, x2, y2;
};

class PlotGeometry
{
public:
    PlotGeometry(int columns, int rows, double pixelMils)
        : m_columns(columns), m_rows(rows), m_pixelMils(pixelMils)
    {
    }
    Segment segment(int y, const Run& run) const
    {
        const int end = run.end > m_columns - 1 ? m_columns - 1 : run.end;
        const double rowY = ((m_rows - 1 - y) * m_pixelMils) * 100.0;
        return {(run.begin * m_pixelMils) * 100.0, rowY, (end * m_pixelMils) * 100.0, rowY};
    }

private:
    int m_columns;
    int m_rows;
    double m_pixelMils;
};

} // namespace kelviq
