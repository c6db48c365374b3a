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
    if (std::string_view(text, formatDecimal(text, plotUnits / 1e5, 6)) == "0") {
        return "too thin for a Gerber file: its aperture would measure 0 inches (to the "
               "micro-inch), and a zero-size aperture draws nothing";
    }
    if (microInches(plotUnits) <= MostMicroInches)
        return {};
    return "too thick for a Gerber file: apertures are kept within the 999.999999 inches its "
           "coordinates reach";
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
