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
// The corners of a shape's path that surely stay below that: a corner's text is a command
// letter and a number of at most 15 digits, a sign, a point and an exponent.
constexpr std::size_t MostPathCorners = MostPathBytes / 24;

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
    m_x.reset(plot.columns() + 1,
              [&plot](char* out, int column) { return formatNumber(out, plot.x(column) / 100.0); });
    // Only outlines have corners; lines leave the table out.
    if (shape() == PlotShape::Outline)
        m_cornerY.reset(plot.rows() + 1, [&plot](char* out, int line) {
            return formatNumber(out, -plot.cornerY(line) / 100.0);
        });
    // Mils, Y flipped; a negative scale mirrors the area, so take its corners in order.
    // Outlines end on the area's edges, at the corners' own numbers.
    const bool outline = shape() == PlotShape::Outline;
    const double margin = outline ? 0.0 : std::abs(m_width) / 200.0;
    const double areaTop = outline ? plot.cornerY(0) : plot.areaTop();
    const double areaBottom = outline ? plot.cornerY(plot.rows()) : plot.areaBottom();
    const double left = std::min(plot.areaLeft(), plot.areaRight()) / 100.0 - margin;
    const double right = std::max(plot.areaLeft(), plot.areaRight()) / 100.0 + margin;
    const double top = -std::max(areaTop, areaBottom) / 100.0 - margin;
    const double bottom = -std::min(areaTop, areaBottom) / 100.0 + margin;
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
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const Run& run = plot.runAt(runs, k);
        if (!m_pathOpen ||
            m_pathBytes + static_cast<std::int64_t>(MostPerSegment) > MostPathBytes) {
            closePath();
            openPath();
        }
        char* const start = reserve(MostPerSegment);
        char* out = start;
        *out++ = 'M';
        out = m_x.write(out, plot.startColumn(run));
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

void SvgWriter::writeShape(const Shape& shape)
{
    std::size_t corners = shape.outline.size();
    for (const Contour& hole : shape.holes)
        corners += hole.size();
    const int top = shape.outline.front().y;
    const int bottom =
        std::max_element(shape.outline.begin(), shape.outline.end(), [](Corner a, Corner b) {
            return a.y < b.y;
        })->y;
    if (corners > MostPathCorners && bottom - top > 1) {
        // Bands of about equal rows, each a path; one still too large is cut again.
        const std::size_t bands = corners / MostPathCorners + 1;
        const int rows = std::max(1, static_cast<int>((bottom - top) / static_cast<int>(bands)));
        std::vector<int> lines;
        for (int line = top + rows; line < bottom; line += rows)
            lines.push_back(line);
        std::vector<Shape> parts;
        ShapeCutter().cut(shape, lines, parts);
        for (const Shape& part : parts)
            writeShape(part);
        return;
    }
    append("<path fill=\"#000000\" fill-rule=\"evenodd\" d=\"");
    writeContour(shape.outline);
    for (const Contour& hole : shape.holes) {
        append("\n");
        writeContour(hole);
    }
    append("\"/>\n");
}

// A move to the first corner, then along one axis to each next corner (H or V), closed.
void SvgWriter::writeContour(const Contour& contour)
{
    bool started = false;
    Corner last{0, 0};
    forEachCorner(contour, [&](Corner c) {
        char* out = reserve(2 * MaxNumberTextLength + 8);
        if (!started) {
            *out++ = 'M';
            out = m_x.write(out, c.x);
            *out++ = ' ';
            out = m_cornerY.write(out, c.y);
        } else if (c.y == last.y) {
            *out++ = 'H';
            out = m_x.write(out, c.x);
        } else {
            *out++ = 'V';
            out = m_cornerY.write(out, c.y);
        }
        commit(out);
        flushIfFull();
        started = true;
        last = c;
    });
    append("Z");
}

} // namespace kelviq
