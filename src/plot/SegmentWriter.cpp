#include "plot/SegmentWriter.h"

#include <QFileDevice>
#include <QIODevice>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>

namespace kelviq {

SegmentWriter::SegmentWriter(QIODevice* device)
    : m_device(device), m_buffer(new char[BlockSize + 4096]), m_capacity(BlockSize + 4096)
{
}

SegmentWriter::~SegmentWriter() = default;

char* SegmentWriter::reserveAfterFlush(std::size_t length)
{
    flush();
    if (length > m_capacity) {
        m_buffer.reset(new char[length]);
        m_capacity = length;
    }
    return m_buffer.get() + m_used;
}

void SegmentWriter::append(std::string_view text)
{
    for (std::size_t done = 0; done < text.size(); done += BlockSize) {
        const std::size_t length = std::min(BlockSize, text.size() - done);
        char* out = reserve(length);
        std::memcpy(out, text.data() + done, length);
        commit(out + length);
    }
    flushIfFull();
}

void SegmentWriter::fail(const QString& reason)
{
    m_failed = true;
    m_error = reason;
    m_used = 0;
}

char* SegmentWriter::formatDecimal(char* out, double v, int decimals)
{
    if (!(std::abs(v) < 1e15))
        return formatNumber(out, v);
    char* end =
        std::to_chars(out, out + MaxNumberTextLength, v, std::chars_format::fixed, decimals).ptr;
    if (decimals > 0) {
        while (end[-1] == '0')
            --end;
        if (end[-1] == '.')
            --end;
    }
    if (end - out == 2 && out[0] == '-' && out[1] == '0') {
        out[0] = '0';
        end = out + 1;
    }
    return end;
}

bool SegmentWriter::flush()
{
    if (m_failed) {
        m_used = 0;
        return false;
    }
    const char* data = m_buffer.get();
    qint64 left = static_cast<qint64>(m_used);
    const qint64 blockStart = m_written;
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
    // The plot is synced to disk when it is saved; starting the disk on each block now lets it
    // write while the rest is traced, instead of all at the end. Devices that are not files
    // say no, which changes nothing.
    if (!m_failed && m_written > blockStart) {
        if (const auto* file = qobject_cast<QFileDevice*>(m_device); file && file->handle() >= 0)
            ::sync_file_range(file->handle(), blockStart, m_written - blockStart,
                              SYNC_FILE_RANGE_WRITE);
    }
    return !m_failed;
}

} // namespace kelviq
