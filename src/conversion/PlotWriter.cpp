#include "PlotWriter.h"

#include "NumberText.h"

#include <QIODevice>
#include <algorithm>
#include <cstring>

namespace kelviq {

namespace {
// Large enough that the per-write cost vanishes, small enough to stay out of the memory budget.
constexpr std::size_t BufferSize = 1 << 20;
// Most one call adds: a width line and two numbers, with their blanks and line ends.
constexpr std::size_t MostPerCall = 16 + 3 * MaxNumberTextLength + 16;
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

PlotWriter::PlotWriter(QIODevice* device)
    : m_device(device), m_buffer(new char[BufferSize + MostPerCall])
{
    setLineWidth(1000.0);
}

PlotWriter::~PlotWriter() = default;

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
    const std::string& header = headerText();
    for (std::size_t done = 0; done < header.size(); done += MostPerCall) {
        const std::size_t length = std::min(MostPerCall, header.size() - done);
        std::memcpy(reserve(length), header.data() + done, length);
        m_used += length;
    }
    return flushIfFull();
}

// The records are formed in place in the buffer: the widest of them is the plot file's
// whole work when a picture has many short runs.
bool PlotWriter::StartSegment(double x, double y)
{
    char* out = reserve(MostPerCall);
    out = copyText(out, m_widthLine.data(), m_widthLineLength);
    out = formatNumber(out, x);
    *out++ = ' ';
    out = writeY(out, y);
    m_used = static_cast<std::size_t>(out - m_buffer.get());
    return !m_failed;
}

bool PlotWriter::EndSegment(double x, double y)
{
    char* out = reserve(MostPerCall);
    *out++ = ' ';
    out = formatNumber(out, x);
    *out++ = ' ';
    out = writeY(out, y);
    *out++ = '\r';
    *out++ = '\n';
    m_used = static_cast<std::size_t>(out - m_buffer.get());
    return flushIfFull();
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

char* PlotWriter::reserve(std::size_t length)
{
    if (m_used + length > BufferSize + MostPerCall)
        flush();
    return m_buffer.get() + m_used;
}

bool PlotWriter::flushIfFull()
{
    if (m_used >= BufferSize)
        return flush();
    return !m_failed;
}

bool PlotWriter::flush()
{
    if (m_failed) {
        m_used = 0;
        return false;
    }
    const char* data = m_buffer.get();
    qint64 left = static_cast<qint64>(m_used);
    while (left > 0) {
        const qint64 n = m_device->write(data, left);
        if (n <= 0) {
            m_failed = true;
            m_error = m_device->errorString();
            if (m_error.isEmpty())
                m_error = QStringLiteral("write failed");
            break;
        }
        data += n;
        left -= n;
        m_written += n;
    }
    m_used = 0;
    return !m_failed;
}

} // namespace kelviq
