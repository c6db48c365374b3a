#include "plot/KicadWriter.h"

#include <algorithm>
#include <cmath>

namespace kelviq {

namespace {

// A plot unit is a hundredth of a mil; KiCad keeps lengths to the nanometre.
constexpr double MillimetresPerUnit = 0.000254;
constexpr int Decimals = 6;
constexpr std::size_t MostPerSegment = 4 * MaxNumberTextLength + 128;
// KiCad 6 keeps lengths as whole nanometres in an int and, reading a board or footprint, clamps
// every length beyond INT_MAX × 0.7071 nm (2147483647 × 0.7071 = 1518485686.8) to that: the
// largest length it reads unchanged is 1518.485686 mm.
constexpr double MostNanometres = 1'518'485'686.0;

// A length as the footprint gives it, in whole nanometres (its six decimals of a millimetre).
double writtenNanometres(double millimetres)
{
    return std::round(std::abs(millimetres) * 1e6);
}

// A quoted KiCad string: quotes and backslashes escaped, control characters left out.
std::string quoted(const std::string& text)
{
    std::string out = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\')
            out += '\\';
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f)
            out += c;
    }
    return out + '"';
}

} // namespace

std::string KicadWriter::limitProblem(const PlotGeometry& geometry)
{
    const double centreX = (geometry.areaLeft() + geometry.areaRight()) / 2;
    const double centreY = (geometry.areaBottom() + geometry.areaTop()) / 2;
    double farthest = 0.0;
    for (const double v : {geometry.x(0) - centreX, geometry.x(geometry.columns() - 1) - centreX,
                           centreY - geometry.y(0), centreY - geometry.y(geometry.rows() - 1)}) {
        const double nanometres = writtenNanometres(v * MillimetresPerUnit);
        farthest = nanometres == nanometres ? std::max(farthest, nanometres) : HUGE_VAL;
    }
    if (farthest <= MostNanometres)
        return {};
    return "too large for a KiCad footprint: the plot would reach " +
           roughNumberText(farthest / 1e6) +
           " mm from the footprint's centre, but KiCad reads lengths only up to 1518.485686 mm";
}

std::string KicadWriter::widthProblem(double plotUnits)
{
    const double nanometres = writtenNanometres(plotUnits * MillimetresPerUnit);
    if (nanometres == 0.0) {
        return "too thin for a KiCad footprint: its lines would be 0 mm wide (to the "
               "nanometre), which KiCad draws at its default width instead";
    }
    if (nanometres <= MostNanometres)
        return {};
    return "too thick for a KiCad footprint: KiCad reads lengths only up to 1518.485686 mm";
}

KicadWriter::KicadWriter(ByteSink& sink, const std::string& name)
    : SegmentWriter(sink), m_name(quoted(name.empty() ? std::string("logo") : name))
{
    setLineWidth(1000.0);
}

void KicadWriter::setLineWidth(double plotUnits)
{
    char text[MaxNumberTextLength];
    m_tail = ") (layer \"F.SilkS\") (width " +
             std::string(text, formatDecimal(text, plotUnits * MillimetresPerUnit, Decimals)) +
             "))\n";
}

void KicadWriter::writeHead()
{
    const PlotGeometry& plot = geometry();
    m_centreX = (plot.areaLeft() + plot.areaRight()) / 2;
    m_centreY = (plot.areaBottom() + plot.areaTop()) / 2;
    m_x.reset(plot.columns(), [this, &plot](char* out, int column) {
        return formatDecimal(out, (plot.x(column) - m_centreX) * MillimetresPerUnit, Decimals);
    });
    append("(footprint " + m_name +
           " (version 20211014) (generator kelviq)\n"
           "  (layer \"F.Cu\")\n"
           "  (descr \"Artwork traced by KELVIQ\")\n"
           "  (attr board_only exclude_from_pos_files exclude_from_bom)\n"
           "  (fp_text reference \"REF**\" (at 0 0) (layer \"F.SilkS\") hide\n"
           "    (effects (font (size 1 1) (thickness 0.15)))\n"
           "  )\n"
           "  (fp_text value " +
           m_name +
           " (at 0 0) (layer \"F.Fab\") hide\n"
           "    (effects (font (size 1 1) (thickness 0.15)))\n"
           "  )\n");
}

void KicadWriter::writeTail()
{
    append(")\n");
}

void KicadWriter::writeRow(int y, const std::vector<Run>& runs)
{
    if (runs.empty())
        return;
    char yText[MaxNumberTextLength];
    // KiCad's Y grows downward.
    const std::string_view rowY(
        yText,
        static_cast<std::size_t>(
            formatDecimal(yText, (m_centreY - geometry().y(y)) * MillimetresPerUnit, Decimals) -
            yText));
    const PlotGeometry& plot = geometry();
    for (const Run& run : runs) {
        char* out = reserve(MostPerSegment + m_tail.size());
        out = put(out, "  (fp_line (start ");
        out = m_x.write(out, run.begin);
        *out++ = ' ';
        out = put(out, rowY);
        out = put(out, ") (end ");
        out = m_x.write(out, plot.endColumn(run));
        *out++ = ' ';
        out = put(out, rowY);
        out = put(out, m_tail);
        commit(out);
        if (!flushIfFull())
            return;
    }
}

} // namespace kelviq
