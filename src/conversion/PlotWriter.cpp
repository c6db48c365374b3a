#include "PlotWriter.h"

#include "NumberText.h"

#include <QIODevice>

namespace kelviq {

namespace {
// Large enough that the per-write cost vanishes, small enough to stay out of the memory budget.
constexpr std::size_t BufferSize = 1 << 20;
} // namespace

PlotWriter::PlotWriter(QIODevice* device) : m_device(device)
{
    m_buffer.reserve(BufferSize + 256);
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
    char number[MaxNumberTextLength];
    m_widthLine = "259\r\n";
    m_widthLine.append(number, formatNumber(number, plotUnits));
    m_widthLine.append(" 2\r\n");
}

bool PlotWriter::WriteHeader()
{
    const std::string& header = headerText();
    append(header.data(), header.size());
    return flushIfFull();
}

bool PlotWriter::StartSegment(double x, double y)
{
    append(m_widthLine.data(), m_widthLine.size());
    appendNumber(x);
    m_buffer.push_back(' ');
    appendNumber(y);
    return !m_failed;
}

bool PlotWriter::EndSegment(double x, double y)
{
    m_buffer.push_back(' ');
    appendNumber(x);
    m_buffer.push_back(' ');
    appendNumber(y);
    m_buffer.append("\r\n", 2);
    return flushIfFull();
}

void PlotWriter::append(const char* text, std::size_t length)
{
    m_buffer.append(text, length);
}

void PlotWriter::appendNumber(double v)
{
    char number[MaxNumberTextLength];
    m_buffer.append(number, formatNumber(number, v));
}

bool PlotWriter::flushIfFull()
{
    if (m_buffer.size() >= BufferSize)
        return flush();
    return !m_failed;
}

bool PlotWriter::flush()
{
    if (m_failed) {
        m_buffer.clear();
        return false;
    }
    const char* data = m_buffer.data();
    qint64 left = static_cast<qint64>(m_buffer.size());
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
    m_buffer.clear();
    return !m_failed;
}

} // namespace kelviq
