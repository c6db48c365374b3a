#include "plot/IpfWriter.h"

#include <cstring>

namespace kelviq {

namespace {
// Texts up to this long are copied in one fixed-size move (with what follows them in their
// buffer); only the rare longer ones - tiny fractions in full digits - are copied by length.
constexpr std::size_t QuickCopy = 32;
// Most one record adds: a width line, four numbers, their blanks and line ends, and what
// the fixed-size moves copy past their text.
constexpr std::size_t MostPerRecord = 16 + 5 * MaxNumberTextLength + 8 + 2 * QuickCopy;

// Copies length bytes of text, whose buffer holds at least QuickCopy bytes: the usual short
// text in one fixed-size move, which the compiler makes a few instructions.
inline char* copyText(char* out, const char* text, std::size_t length)
{
    if (length <= QuickCopy)
        std::memcpy(out, text, QuickCopy);
    else
        std::memcpy(out, text, length);
    return out + length;
}
} // namespace

std::string IpfWriter::limitProblem(const PlotGeometry& geometry)
{
    const double farthest = geometry.farthest();
    if (isPlainNumber(farthest))
        return {};
    return "too large for an IPF plot: the plot would reach " + roughNumberText(farthest / 100) +
           " mils from its origin, but IPF numbers, in hundredths of a mil, are plain digits "
           "only below 10^15 (10^13 mils)";
}

std::string IpfWriter::widthProblem(double plotUnits)
{
    if (isPlainNumber(plotUnits))
        return {};
    return "too thick for an IPF plot: widths, in hundredths of a mil, are plain digits only "
           "below 10^15 (10^13 mils)";
}

IpfWriter::IpfWriter(ByteSink& sink) : SegmentWriter(sink)
{
    setLineWidth(1000.0);
}

const std::string& IpfWriter::headerText()
{
    static const std::string header = "-1175000 -1100025 3025000 1899975 12\r\n"
                                      "-190525 -204016 413469 170985\r\n"
                                      "16\r\n"
                                      "2500 1600 600 0 0.000000\r\n"
                                      "3100 2300 800 0 0.000000\r\n"
                                      "5000 3800 1300 0 0.000000\r\n"
                                      "6300 4700 1600 0 0.000000\r\n"
                                      "7500 5600 1900 0 0.000000\r\n"
                                      "8000 6000 2000 0 0.000000\r\n"
                                      "9400 6900 2300 0 0.000000\r\n"
                                      "10000 7500 2500 0 0.000000\r\n"
                                      "12500 9300 3100 0 0.000000\r\n"
                                      "15600 11700 6200 0 0.000000\r\n"
                                      "17500 13100 4400 0 0.000000\r\n"
                                      "18800 14100 4700 0 0.000000\r\n"
                                      "20000 15000 5000 0 0.000000\r\n"
                                      "22500 16700 5600 0 0.000000\r\n"
                                      "25000 18900 6300 0 0.000000\r\n"
                                      "50000 37500 12500 0 0.000000\r\n";
    return header;
}

void IpfWriter::setLineWidth(double plotUnits)
{
    // The record's first two lines only change with the width, so they are prepared once.
    char* out = m_widthLine.data();
    std::memcpy(out, "259\r\n", 5);
    out = formatNumber(out + 5, plotUnits);
    std::memcpy(out, " 2\r\n", 4);
    m_widthLineLength = static_cast<std::size_t>(out + 4 - m_widthLine.data());
}

void IpfWriter::writeHead()
{
    const PlotGeometry& plot = geometry();
    m_columnText.reset(plot.columns(), [&plot](char* out, int column) {
        return formatNumber(out, plot.x(column));
    });
    append(headerText());
}

// The records are formed in place in the buffer: the widest of them is the plot file's
// whole work when a picture has many short runs.
void IpfWriter::writeRow(int y, const std::vector<Run>& runs)
{
    if (runs.empty())
        return;
    // The row's Y with the blanks around it, after the start point and after the end point.
    std::array<char, MaxNumberTextLength + 4> middle;
    middle[0] = ' ';
    char* end = writeY(middle.data() + 1, geometry().y(y));
    *end++ = ' ';
    const auto middleLength = static_cast<std::size_t>(end - middle.data());
    std::array<char, MaxNumberTextLength + 4> tail;
    std::memcpy(tail.data(), middle.data(), middleLength - 1);
    std::memcpy(tail.data() + middleLength - 1, "\r\n", 2);
    const std::size_t tailLength = middleLength + 1;
    const PlotGeometry& plot = geometry();
    for (std::size_t k = 0; k < runs.size(); ++k) {
        const Run& run = plot.runAt(runs, k);
        char* out = reserve(MostPerRecord);
        out = copyText(out, m_widthLine.data(), m_widthLineLength);
        out = m_columnText.write(out, plot.startColumn(run));
        out = copyText(out, middle.data(), middleLength);
        out = m_columnText.write(out, plot.endColumn(run));
        out = copyText(out, tail.data(), tailLength);
        commit(out);
        if (!flushIfFull())
            return;
    }
}

char* IpfWriter::writeY(char* out, double y)
{
    if (y != m_lastY) {
        m_lastY = y;
        m_lastYLength =
            static_cast<std::size_t>(formatNumber(m_lastYText.data(), y) - m_lastYText.data());
    }
    return copyText(out, m_lastYText.data(), m_lastYLength);
}

} // namespace kelviq
