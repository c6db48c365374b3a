#include "plot/GerberWriter.h"

#include <algorithm>
#include <cmath>

namespace kelviq {

namespace {

// Plot units are hundredths of a mil: ten micro-inches each.
double microInches(double plotUnits)
{
    return std::round(plotUnits * 10.0);
}

// Format 3.6 holds nine digits.
constexpr double MostMicroInches = 999'999'999.0;

constexpr std::size_t MostPerSegment = 4 * MaxNumberTextLength + 32;

} // namespace

GerberWriter::GerberWriter(QIODevice* device) : SegmentWriter(device)
{
}

QString GerberWriter::limitProblem(const PlotGeometry& geometry)
{
    const double farthest =
        std::max({std::abs(geometry.x(0)), std::abs(geometry.x(geometry.columns() - 1)),
                  std::abs(geometry.y(0)), std::abs(geometry.y(geometry.rows() - 1))});
    if (microInches(farthest) <= MostMicroInches)
        return {};
    return QStringLiteral("the plot reaches %1 inches from its origin, but Gerber coordinates "
                          "reach only 999 inches")
        .arg(std::round(farthest / 1e5));
}

void GerberWriter::writeHead()
{
    const PlotGeometry& plot = geometry();
    m_x.reset(plot.columns(), [&plot](char* out, int column) {
        return formatNumber(out, microInches(plot.x(column)));
    });
    append("G04 Traced by KELVIQ*\n"
           "%FSLAX36Y36*%\n"
           "%MOIN*%\n"
           "%LPD*%\n"
           "G01*\n");
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
    for (const Run& run : runs) {
        const int endColumn = geometry().endColumn(run);
        char* out = reserve(MostPerSegment);
        *out++ = 'X';
        out = m_x.write(out, run.begin);
        out = put(out, rowY);
        const bool zeroLength = endColumn == run.begin || microInches(geometry().x(run.begin)) ==
                                                              microInches(geometry().x(endColumn));
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

} // namespace kelviq
