#include "output/DeviceSink.h"

#include <QFileDevice>
#include <QIODevice>
#include <fcntl.h>

namespace kelviq {

bool DeviceSink::write(const char* data, std::size_t length)
{
    const std::int64_t blockStart = m_written;
    auto left = static_cast<qint64>(length);
    while (left > 0) {
        const qint64 n = m_device->write(data, left);
        if (n <= 0)
            return false;
        data += n;
        left -= n;
        m_written += n;
    }
    // The plot is synced to disk when it is saved; starting the disk on each block now lets it
    // write while the rest is traced, instead of all at the end. Devices that are not files
    // say no, which changes nothing.
    if (m_written > blockStart) {
        if (const auto* file = qobject_cast<QFileDevice*>(m_device); file && file->handle() >= 0)
            ::sync_file_range(file->handle(), blockStart, m_written - blockStart,
                              SYNC_FILE_RANGE_WRITE);
    }
    return true;
}

std::string DeviceSink::errorString() const
{
    return m_device->errorString().toStdString();
}

} // namespace kelviq
