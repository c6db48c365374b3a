#include "plot/SvgWriter.h"

#include <algorithm>
#include <cmath>

namespace kelviq {

namespace {

constexpr double MillimetresPerMil = 0.0254;
constexpr std::size_t MostPerSegment = 4 * MaxNumberTextLength + 16;
// libxml2, and the readers built on it, refuse a text of more than 10 MB in one attribute
// unless told otherwise; a path's data stays within a megabyte and goes on in a new path
// element of the same thickness.
constexpr std::int64_t MostPathBytes = 1'000'000;

std::string text(double v)
{
    char buffer[MaxNumberTextLength];
    return std::string(buffer, formatNumber(buffer, v));
}

} // namespace

std::string SvgWriter::limitProblem(const PlotGeometry& geometry)
{
    double farthest = 0.0;
    for (const double v :
         {geometry.areaLeft(), geometry.areaRight(), geometry.areaBottom(), geometry.areaTop()})
        farthest = isPlainNumber(v) ? std::max(farthest, std::abs(v)) : HUGE_VAL;
    if (isPlainNumber(farthest))
        return {};
    return "too large for an SVG drawing: the drawing would reach " +
           roughNumberText(farthest / 100) +
           " mils from its origin, but its numbers are kept below 10^13 mils, as in the IPF "
           "plot, to stay plain digits";
}

std::string SvgWriter::widthProblem(double plotUnits)
{
    if (plotUnits == 0.0)
        return "too thin for an SVG drawing: a stroke 0 wide paints nothing";
    if (isPlainNumber(plotUnits))
        return {};
    return "too thick for an SVG drawing: its numbers are kept below 10^13 mils, as in the IPF "
           "plot, to stay plain digits";
}

SvgWriter::SvgWriter(ByteSink& sink) : SegmentWriter(sink)
{
    setLineWidth(1000.0);
}

void SvgWriter::setLineWidth(double plotUnits)
{
    if (plotUnits == m_width && !m_widthText.empty())
        return;
    m_width = plotUnits;
    m_widthText = text(plotUnits / 100.0);
    closePath();
}

void SvgWriter::writeHead()
{
    const PlotGeometry& plot = geometry();
    m_x.reset(plot.columns(),
              [&plot](char* out, int column) { return formatNumber(out, plot.x(column) / 100.0); });
    // Mils, Y flipped; a negative scale mirrors the area, so take its corners in order.
    const double margin = std::abs(m_width) / 200.0;
    const double left = std::min(plot.areaLeft(), plot.areaRight()) / 100.0 - margin;
    const double right = std::max(plot.areaLeft(), plot.areaRight()) / 100.0 + margin;
    const double top = -std::max(plot.areaTop(), plot.areaBottom()) / 100.0 - margin;
    const double bottom = -std::min(plot.areaTop(), plot.areaBottom()) / 100.0 + margin;
    append("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"" +
           text((right - left) * MillimetresPerMil) + "mm\" height=\"" +
           text((bottom - top) * MillimetresPerMil) + "mm\" viewBox=\"" + text(left) + ' ' +
           text(top) + ' ' + text(right - left) + ' ' + text(bottom - top) + "\">\n");
}

void SvgWriter::writeTail()
{
    closePath();
    append("</svg>\n");
}

void SvgWriter::closePath()
{
    if (!m_pathOpen)
        return;
    append("\"/>\n");
    m_pathOpen = false;
}

void SvgWriter::openPath()
{
    append("<path fill=\"none\" stroke=\"#000000\" stroke-linecap=\"round\" stroke-width=\"" +
           m_widthText + "\" d=\"");
    m_pathOpen = true;
    m_pathBytes = 0;
}

void SvgWriter::writeRow(int y, const std::vector<Run>& runs)
{
    if (runs.empty())
        return;
    char yBuffer[MaxNumberTextLength + 1] = {' '};
    const std::string_view rowY(
        yBuffer,
        static_cast<std::size_t>(formatNumber(yBuffer + 1, -geometry().y(y) / 100.0) - yBuffer));
    const PlotGeometry& plot = geometry();
    for (const Run& run : runs) {
        if (!m_pathOpen ||
            m_pathBytes + static_cast<std::int64_t>(MostPerSegment) > MostPathBytes) {
            closePath();
            openPath();
        }
        char* const start = reserve(MostPerSegment);
        char* out = start;
        *out++ = 'M';
        out = m_x.write(out, run.begin);
        out = put(out, rowY);
        *out++ = ' ';
        *out++ = 'L';
        out = m_x.write(out, plot.endColumn(run));
        out = put(out, rowY);
        *out++ = '\n';
        m_pathBytes += out - start;
        commit(out);
        if (!flushIfFull())
            return;
    }
}

} // namespace kelviq
