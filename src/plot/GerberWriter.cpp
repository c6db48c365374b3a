#include "plot/GerberWriter.h"

#include <cmath>

namespace kelviq {

namespace {

// Plot units are hundredths of a mil: ten micro-inches each.
double microInches(double plotUnits)
{
    return std::round(plotUnits * 10.0);
}

// Format 3.6: three digits before the point and six after, so at most 999.999999 inches.
constexpr double MostMicroInches = 999'999'999.0;

constexpr std::size_t MostPerSegment = 4 * MaxNumberTextLength + 32;

} // namespace

GerberWriter::GerberWriter(ByteSink& sink) : SegmentWriter(sink)
{
}

std::string GerberWriter::limitProblem(const PlotGeometry& geometry)
{
    const double farthest = geometry.farthest();
    if (microInches(farthest) <= MostMicroInches)
        return {};
    return "too large for a Gerber file: the plot would reach " + roughNumberText(farthest / 1e5) +
           " inches from its origin, but Gerber coordinates (format 3.6) reach only 999.999999 "
           "inches";
}

std::string GerberWriter::widthProblem(double plotUnits)
{
    // As setLineWidth() writes it.
    char text[MaxNumberTextLength];
    // The length, not the end: emscripten's C++ library lacks string_view's iterator pair.
    const char* const end = formatDecimal(text, plotUnits / 1e5, 6);
    if (std::string_view(text, static_cast<std::size_t>(end - text)) == "0") {
        return "too thin for a Gerber file: its aperture would measure 0 inches (to the "
               "micro-inch), and a zero-size aperture draws nothing";
    }
    if (microInches(plotUnits) <= MostMicroInches)
        return {};
    return "too thick for a Gerber file: apertures are kept within the 999.999999 inches its "
           "coordinates reach";
}

std::string GerberWriter::fileFunction(BoardLayer layer, BoardSide side)
{
    const bool top = side == BoardSide::Top;
    switch (layer) {
    case BoardLayer::Mask:
        return top ? "Soldermask,Top" : "Soldermask,Bot";
    case BoardLayer::Copper:
        // The bottom copper is the last layer: L2 of the two-layer board artwork goes on.
        return top ? "Copper,L1,Top" : "Copper,L2,Bot";
    case BoardLayer::Silkscreen:
        break;
    }
    return top ? "Legend,Top" : "Legend,Bot";
}

void GerberWriter::writeHead()
{
    const PlotGeometry& plot = geometry();
    m_x.reset(plot.columns() + 1, [&plot](char* out, int column) {
        return formatNumber(out, microInches(plot.x(column)));
    });
    // Only outlines have corners; lines leave the table out.
    if (shape() == PlotShape::Outline)
        m_cornerY.reset(plot.rows() + 1, [&plot](char* out, int line) {
            return formatNumber(out, microInches(plot.cornerY(line)));
        });
    append("G04 Traced by KELVIQ*\n");
    if (!plainStyle())
        append("G04 #@! TF.FileFunction," + fileFunction(layer(), plot.side()) + "*\n");
    append("%FSLAX36Y36*%\n"
           "%MOIN*%\n"
           "%LPD*%\n"
           "G01*\n");
    // Regions use no aperture, but readers such as gerbv take a file that defines none for
    // the old RS-274D and warn: one of no size, never selected, keeps them quiet.
    if (shape() == PlotShape::Outline)
        append("%ADD10C,0*%\n");
}

void GerberWriter::writeTail()
{
    append("M02*\n");
}

void GerberWriter::setLineWidth(double plotUnits)
{
    // Inches; a plot unit is 10^-5 inch.
    char text[MaxNumberTextLength];
    std::string diameter(text, formatDecimal(text, plotUnits / 1e5, 6));
    if (diameter != m_diameter) {
        m_diameter = std::move(diameter);
        m_apertureSelected = false;
    }
}

void GerberWriter::selectAperture()
{
    const auto [at, added] =
        m_apertures.try_emplace(m_diameter, 10 + static_cast<int>(m_apertures.size()));
    const std::string code = std::to_string(at->second);
    if (added)
        append("%ADD" + code + "C," + m_diameter + "*%\n");
    append("D" + code + "*\n");
    m_apertureSelected = true;
}

void GerberWriter::writeRow(int y, const std::vector<Run>& runs)
{
    if (runs.empty())
        return;
    if (!m_apertureSelected)
        selectAperture();
    char yText[MaxNumberTextLength + 1] = {'Y'};
    const std::string_view rowY(
        yText,
        static_cast<std::size_t>(formatNumber(yText + 1, microInches(geometry().y(y))) - yText));
    const PlotGeometry& plot = geometry();
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const Run& run = plot.runAt(runs, k);
        const int startColumn = plot.startColumn(run);
        const int endColumn = plot.endColumn(run);
        char* out = reserve(MostPerSegment);
        *out++ = 'X';
        out = m_x.write(out, startColumn);
        out = put(out, rowY);
        const bool zeroLength = endColumn == startColumn ||
                                microInches(plot.x(startColumn)) == microInches(plot.x(endColumn));
        if (zeroLength) {
            out = put(out, "D03*\n");
        } else {
            out = put(out, "D02*\nX");
            out = m_x.write(out, endColumn);
            out = put(out, rowY);
            out = put(out, "D01*\n");
        }
        commit(out);
        if (!flushIfFull())
            return;
    }
}

void GerberWriter::writeShape(const Shape& shape)
{
    m_polygons.clear();
    m_joiner.join(shape, m_polygons);
    append("G36*\n");
    for (const Contour& polygon : m_polygons)
        writeContour(polygon);
    append("G37*\n");
}

// A move to the first corner, a draw to each next one and back to the first. Edges run along
// one axis, so a draw names only the coordinate that changes; one whose rounded coordinate
// does not change is left out.
void GerberWriter::writeContour(const Contour& contour)
{
    const PlotGeometry& plot = geometry();
    Corner last{0, 0};
    double lastX = 0;
    double lastY = 0;
    bool started = false;
    auto draw = [&](Corner c) {
        const double x = microInches(plot.x(c.x));
        const double y = microInches(plot.cornerY(c.y));
        if (started && x == lastX && y == lastY)
            return;
        char* out = reserve(2 * MaxNumberTextLength + 16);
        if (!started || c.x != last.x) {
            *out++ = 'X';
            out = m_x.write(out, c.x);
        }
        if (!started || c.y != last.y) {
            *out++ = 'Y';
            out = m_cornerY.write(out, c.y);
        }
        out = put(out, started ? "D01*\n" : "D02*\n");
        commit(out);
        flushIfFull();
        started = true;
        last = c;
        lastX = x;
        lastY = y;
    };
    forEachCorner(contour, draw);
    if (!contour.empty())
        draw(contour.front());
}

} // namespace kelviq
