#include "plot/SegmentWriter.h"

#include "plot/DecimalDigits.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kelviq {

SegmentWriter::SegmentWriter(ByteSink& sink)
    : m_sink(sink), m_buffer(new char[BlockSize + 4096]), m_capacity(BlockSize + 4096)
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

char* SegmentWriter::formatDecimal(char* out, double v, int decimals)
{
    if (!(std::abs(v) < 1e15))
        return formatNumber(out, v);
    char* end = DecimalDigits::fixed(out, out + MaxNumberTextLength, v, decimals);
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
    if (m_used > 0) {
        if (m_sink.write(m_buffer.get(), m_used)) {
            m_written += static_cast<std::int64_t>(m_used);
        } else {
            m_failed = true;
            m_error = m_sink.errorString();
            if (m_error.empty())
                m_error = "write failed";
        }
    }
    m_used = 0;
    return !m_failed;
}

} // namespace kelviq
