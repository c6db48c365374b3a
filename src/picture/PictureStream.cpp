#include "picture/PictureStream.h"

#include "picture/LoadControl.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace kelviq {

namespace {

// Large enough that system calls cost nothing next to decoding, small next to any picture.
// Reads start smaller (see m_chunk) and grow to this, so that small pictures take little.
constexpr qsizetype ChunkBytes = 1 << 20;

} // namespace

bool PictureStream::cancelled() const
{
    return m_control && m_control->cancelled();
}

ssize_t PictureStream::readFile(char* out, qsizetype n)
{
    if (cancelled())
        return 0; // as if the input ended here
    ssize_t got = 0;
    do
        got = m_positional ? ::pread(m_fd, out, static_cast<size_t>(n), m_fileOffset)
                           : ::read(m_fd, out, static_cast<size_t>(n));
    while (got < 0 && errno == EINTR);
    if (got > 0) {
        m_fileOffset += got;
        if (m_control)
            m_control->count(got);
    }
    return got;
}

bool PictureStream::fill(qsizetype wanted)
{
    if (m_ended || m_fd < 0)
        return false;
    if (!m_keep && m_pos > 0) {
        m_data.remove(0, m_pos);
        m_pos = 0;
    }
    qsizetype chunk = std::max(wanted, m_chunk);
    m_chunk = std::min(m_chunk * 2, ChunkBytes);
    if (m_keep) {
        const qint64 room = m_cap - m_data.size();
        if (room <= 0) {
            m_capExceeded = true;
            return false;
        }
        chunk = static_cast<qsizetype>(std::min<qint64>(chunk, room));
    }
    const qsizetype old = m_data.size();
    m_data.resize(old + chunk);
    const ssize_t n = readFile(m_data.data() + old, chunk);
    if (n < 0)
        m_error = QString::fromLocal8Bit(std::strerror(errno));
    m_data.resize(old + std::max<qsizetype>(n, 0));
    if (n <= 0) {
        m_ended = true;
        return false;
    }
    return true;
}

QByteArray PictureStream::head(qsizetype n)
{
    fillTo(n);
    return m_data.left(n);
}

void PictureStream::fillTo(qsizetype n)
{
    while (m_data.size() < n && fill(n - m_data.size()))
        ;
}

qsizetype PictureStream::read(char* out, qsizetype n)
{
    qsizetype done = 0;
    while (done < n && !cancelled()) {
        const qsizetype buffered = m_data.size() - m_pos;
        if (buffered > 0) {
            const qsizetype take = std::min(buffered, n - done);
            std::memcpy(out + done, m_data.constData() + m_pos, static_cast<size_t>(take));
            m_pos += take;
            done += take;
            continue;
        }
        if (!m_keep && n - done >= ChunkBytes && !m_ended && m_fd >= 0) {
            // Large reads go straight to their place.
            const ssize_t got = readFile(out + done, n - done);
            if (got <= 0) {
                if (got < 0)
                    m_error = QString::fromLocal8Bit(std::strerror(errno));
                m_ended = true;
                break;
            }
            done += got;
            continue;
        }
        if (!fill(n - done))
            break;
    }
    return done;
}

bool PictureStream::skip(qint64 n)
{
    while (n > 0) {
        const qsizetype buffered = m_data.size() - m_pos;
        if (buffered == 0 && !fill(static_cast<qsizetype>(std::min<qint64>(n, ChunkBytes))))
            return false;
        const qsizetype take = static_cast<qsizetype>(std::min<qint64>(n, m_data.size() - m_pos));
        m_pos += take;
        n -= take;
    }
    return true;
}

void PictureStream::stopKeeping()
{
    m_keep = false;
}

void PictureStream::readAll()
{
    while (fill(ChunkBytes))
        ;
}

} // namespace kelviq
