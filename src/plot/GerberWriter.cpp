#include "plot/GerberWriter.h"

#include <algorithm>
#include <charconv>
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

// A whole number as messages have always given it: at most six significant digits, halves
// rounded up, the exponent form from a million on ("1.23457e+06").
std::string sixDigits(double whole)
{
    char digits[MaxNumberTextLength];
    char* const end =
        std::to_chars(digits, digits + sizeof digits, whole, std::chars_format::fixed, 0).ptr;
    const auto count = static_cast<int>(end - digits);
    if (count <= 6)
        return std::string(digits, end);
    std::string kept(digits, 6);
    int exponent = count - 1;
    if (digits[6] >= '5') {
        int i = 5;
        while (i >= 0 && kept[static_cast<std::size_t>(i)] == '9')
            kept[static_cast<std::size_t>(i--)] = '0';
        if (i < 0) {
            kept.insert(kept.begin(), '1');
            kept.pop_back();
            ++exponent;
        } else {
            ++kept[static_cast<std::size_t>(i)];
        }
    }
    while (kept.size() > 1 && kept.back() == '0')
        kept.pop_back();
    std::string text(1, kept[0]);
    if (kept.size() > 1)
        text += '.' + kept.substr(1);
    return text + (exponent < 10 ? "e+0" : "e+") + std::to_string(exponent);
}

} // namespace

GerberWriter::GerberWriter(ByteSink& sink) : SegmentWriter(sink)
{
}

std::string GerberWriter::limitProblem(const PlotGeometry& geometry)
{
    const double farthest =
        std::max({std::abs(geometry.x(0)), std::abs(geometry.x(geometry.columns() - 1)),
                  std::abs(geometry.y(0)), std::abs(geometry.y(geometry.rows() - 1))});
    if (microInches(farthest) <= MostMicroInches)
        return {};
    return "too large for a Gerber file: the plot reaches " +
           sixDigits(std::round(farthest / 1e5)) +
           " inches from its origin, but Gerber coordinates reach only 999 inches";
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
