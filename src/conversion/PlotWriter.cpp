#include "PlotWriter.h"

#include <cstring>

namespace kelviq {

namespace {
// Most one record adds: a width line, four numbers, their blanks and line ends.
constexpr std::size_t MostPerRecord = 16 + 5 * MaxNumberTextLength + 8;
// Texts up to this long are copied in one fixed-size move (with what follows them in their
// buffer); only the rare longer ones - tiny fractions in full digits - are copied by length.
constexpr std::size_t QuickCopy = 32;

// Copies length bytes of text, whose buffer holds at least QuickCopy bytes.
char* copyText(char* out, const char* text, std::size_t length)
{
    std::memcpy(out, text, length <= QuickCopy ? QuickCopy : length);
    return out + length;
}
} // namespace

PlotWriter::PlotWriter(QIODevice* device) : SegmentWriter(device)
{
    setLineWidth(1000.0);
}

const std::string& PlotWriter::headerText()
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

void PlotWriter::setLineWidth(double plotUnits)
{
    // The record's first two lines only change with the width, so they are prepared once.
    char* out = m_widthLine.data();
    std::memcpy(out, "259\r\n", 5);
    out = formatNumber(out + 5, plotUnits);
    std::memcpy(out, " 2\r\n", 4);
    m_widthLineLength = static_cast<std::size_t>(out + 4 - m_widthLine.data());
}

bool PlotWriter::WriteHeader()
{
    append(headerText());
    return !failed();
}

void PlotWriter::writeHead()
{
    const PlotGeometry& plot = geometry();
    m_columnText.reset(plot.columns(), [&plot](char* out, int column) {
        return formatNumber(out, plot.x(column));
    });
    WriteHeader();
}

// The records are formed in place in the buffer: the widest of them is the plot file's
// whole work when a picture has many short runs.
bool PlotWriter::StartSegment(double x, double y)
{
    char* out = reserve(MostPerRecord);
    out = copyText(out, m_widthLine.data(), m_widthLineLength);
    out = formatNumber(out, x);
    *out++ = ' ';
    commit(writeY(out, y));
    return !failed();
}

bool PlotWriter::EndSegment(double x, double y)
{
    char* out = reserve(MostPerRecord);
    *out++ = ' ';
    out = formatNumber(out, x);
    *out++ = ' ';
    out = writeY(out, y);
    *out++ = '\r';
    *out++ = '\n';
    commit(out);
    return flushIfFull();
}

void PlotWriter::writeRow(int y, const std::vector<Run>& runs)
{
    const int lastColumn = geometry().columns() - 1;
    const double rowY = geometry().y(y);
    for (const Run& run : runs) {
        char* out = reserve(MostPerRecord);
        out = copyText(out, m_widthLine.data(), m_widthLineLength);
        out = m_columnText.write(out, run.begin);
        *out++ = ' ';
        out = writeY(out, rowY);
        *out++ = ' ';
        // A run reaching the last column ends on that column.
        out = m_columnText.write(out, run.end > lastColumn ? lastColumn : run.end);
        *out++ = ' ';
        out = writeY(out, rowY);
        *out++ = '\r';
        *out++ = '\n';
        commit(out);
        if (!flushIfFull())
            return;
    }
}

char* PlotWriter::writeY(char* out, double y)
{
    if (y != m_lastY) {
        m_lastY = y;
        m_lastYLength =
            static_cast<std::size_t>(formatNumber(m_lastYText.data(), y) - m_lastYText.data());
    }
    return copyText(out, m_lastYText.data(), m_lastYLength);
}

} // namespace kelviq
