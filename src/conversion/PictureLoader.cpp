#include "PictureLoader.h"

#include <QFileInfo>
#include <QImageReader>
#include <unistd.h>

namespace kelviq {

namespace {

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot read the picture ") + path + QStringLiteral(": ") + reason;
}

} // namespace

qint64 PictureLoader::memoryLimit()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return qint64(4) << 30;
    return static_cast<qint64>(pages) * pageSize / 2;
}

LoadedPicture PictureLoader::load(const QString& path)
{
    LoadedPicture result;
    const QFileInfo info(path);
    if (!info.exists())
        return {{}, failure(path, QStringLiteral("the file does not exist"))};
    if (info.isDir())
        return {{}, failure(path, QStringLiteral("it is a folder, not a file"))};
    if (!info.isReadable())
        return {{}, failure(path, QStringLiteral("permission denied"))};

    // Qt refuses pictures over 256 MB by default; allow what the machine can hold and check
    // the size the header claims before anything is allocated.
    const qint64 limit = memoryLimit();
    QImageReader::setAllocationLimit(static_cast<int>(std::min<qint64>(limit >> 20, INT_MAX)));
    QImageReader reader(path);
    reader.setAutoTransform(false);
    const QSize claimed = reader.size();
    if (claimed.isValid()) {
        const qint64 pixels = qint64(claimed.width()) * std::abs(claimed.height());
        if (pixels * 4 > limit) {
            return {{},
                    failure(path, QStringLiteral("the picture is %1 × %2 pixels, too large "
                                                 "for this machine's memory")
                                      .arg(claimed.width())
                                      .arg(std::abs(claimed.height())))};
        }
    }
    result.image = reader.read();
    if (result.image.isNull()) {
        QString reason = reader.errorString();
        if (reader.error() == QImageReader::UnsupportedFormatError)
            reason = QStringLiteral("not a picture format this program can read");
        return {{}, failure(path, reason)};
    }
    return result;
}

} // namespace kelviq
