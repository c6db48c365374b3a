#include "plot/KicadWriter.h"

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
    // Rounding to nanometres keeps the order of sizes, so the farthest end writes the most.
    const double farthest = writtenNanometres(
        geometry.farthest(geometry.centreX(), geometry.centreY()) * MillimetresPerUnit);
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

std::string KicadWriter::layerName(BoardLayer layer, BoardSide side)
{
    const std::string prefix = side == BoardSide::Top ? "F." : "B.";
    switch (layer) {
    case BoardLayer::Mask:
        return prefix + "Mask";
    case BoardLayer::Copper:
        return prefix + "Cu";
    case BoardLayer::Silkscreen:
        break;
    }
    return prefix + "SilkS";
}

void KicadWriter::setLineWidth(double plotUnits)
{
    m_width = plotUnits;
    makeTail();
}

void KicadWriter::makeTail()
{
    char text[MaxNumberTextLength];
    m_tail = ") (layer \"" + m_layerName + "\") (width " +
             std::string(text, formatDecimal(text, m_width * MillimetresPerUnit, Decimals)) +
             "))\n";
}

void KicadWriter::writeHead()
{
    const PlotGeometry& plot = geometry();
    m_layerName = layerName(layer(), plot.side());
    makeTail();
    m_polygonTail = "\n    ) (layer \"" + m_layerName + "\") (width 0) (fill solid))\n";
    m_centreX = plot.centreX();
    m_centreY = plot.centreY();
    m_x.reset(plot.columns() + 1, [this, &plot](char* out, int column) {
        return formatDecimal(out, (plot.x(column) - m_centreX) * MillimetresPerUnit, Decimals);
    });
    // Only outlines have corners; lines leave the table out.
    if (shape() == PlotShape::Outline)
        m_cornerY.reset(plot.rows() + 1, [this, &plot](char* out, int line) {
            return formatDecimal(out, (m_centreY - plot.cornerY(line)) * MillimetresPerUnit,
                                 Decimals);
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
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const Run& run = plot.runAt(runs, k);
        char* out = reserve(MostPerSegment + m_tail.size());
        out = put(out, "  (fp_line (start ");
        out = m_x.write(out, plot.startColumn(run));
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

// Each of the shape's hole-free polygons a solid fp_poly, its corners eight to a line.
void KicadWriter::writeShape(const Shape& shape)
{
    m_polygons.clear();
    m_joiner.join(shape, m_polygons);
    for (const Contour& polygon : m_polygons) {
        append("  (fp_poly (pts");
        std::size_t written = 0;
        forEachCorner(polygon, [this, &written](Corner c) {
            char* out = reserve(2 * MaxNumberTextLength + 16);
            out = put(out, written++ % 8 == 0 ? "\n      (xy " : " (xy ");
            out = m_x.write(out, c.x);
            *out++ = ' ';
            out = m_cornerY.write(out, c.y);
            *out++ = ')';
            commit(out);
            flushIfFull();
        });
        append(m_polygonTail);
    }
}

} // namespace kelviq
