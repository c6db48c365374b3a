#include "plot/KicadWriter.h"

namespace kelviq {

namespace {

// A plot unit is a hundredth of a mil; KiCad keeps lengths to the nanometre.
constexpr double MillimetresPerUnit = 0.000254;
constexpr int Decimals = 6;
constexpr std::size_t MostPerSegment = 4 * MaxNumberTextLength + 128;

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
