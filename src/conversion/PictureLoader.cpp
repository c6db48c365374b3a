#include "PictureLoader.h"

#include "BmpFile.h"
#include "FormatCheck.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <climits>
#include <optional>
#include <unistd.h>

namespace kelviq {

namespace {

QString failure(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot read the picture ") + path + QStringLiteral(": ") + reason;
}

// Far beyond any real drawing, and beyond what the plot file's coordinates are meant for.
constexpr qint64 MaxPixels = (qint64(1) << 31) - 1;

// The decoded picture and its 32-bit copy for tracing must both fit.
std::optional<QString> sizeProblem(qint64 width, qint64 height)
{
    if (width <= 0 || height <= 0)
        return std::nullopt;
    const QString size = QStringLiteral("the picture is %1 × %2 pixels").arg(width).arg(height);
    if (width > MaxPixels / height)
        return size + QStringLiteral(", more than the %1 million pixels this program can trace")
                          .arg(MaxPixels / 1000000);
    // QImage counts the bytes of one row in an int.
    const bool rowTooLong = width > (INT_MAX - 32) / 4;
    if (rowTooLong || width * height * 4 > PictureLoader::memoryLimit())
        return size + QStringLiteral(", too large for this machine's memory");
    return std::nullopt;
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
    const QFileInfo info(path);
    if (!info.exists())
        return {{}, failure(path, QStringLiteral("the file does not exist"))};
    if (info.isDir())
        return {{}, failure(path, QStringLiteral("it is a folder, not a file"))};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, failure(path, file.errorString())};
    if (file.size() > memoryLimit())
        return {{},
                failure(path, QStringLiteral("the file is too large for this machine's memory"))};
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {{}, failure(path, file.errorString())};
    return loadFromData(data, path);
}

LoadedPicture PictureLoader::loadFromData(const QByteArray& data, const QString& name)
{
    if (data.isEmpty())
        return {{}, failure(name, QStringLiteral("the file is empty"))};

    QByteArray bytes = data;
    std::optional<BmpFile> bmp;
    if (BmpFile::looksLikeBmp(data)) {
        bmp = BmpFile::inspect(data);
        // A size beyond reach is the more useful reason, also when the rest is broken too.
        if (const auto tooLarge = sizeProblem(bmp->width(), bmp->height()))
            return {{}, failure(name, *tooLarge)};
        if (!bmp->problem().isEmpty())
            return {{}, failure(name, bmp->problem())};
        bytes = bmp->repaired(data);
    }

    // Qt refuses pictures over 256 MB by default; allow what the machine can hold and check
    // the size the header claims before anything is allocated.
    QImageReader::setAllocationLimit(
        static_cast<int>(std::min<qint64>(memoryLimit() >> 20, INT_MAX)));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // The content decides the format, whatever the name's suffix says.
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    const QSize claimed = reader.size();
    if (claimed.isValid()) {
        if (const auto tooLarge = sizeProblem(claimed.width(), std::abs(claimed.height())))
            return {{}, failure(name, *tooLarge)};
    }
    if (!bmp) {
        const QString problem = FormatCheck::problem(bytes, reader.format());
        if (!problem.isEmpty())
            return {{}, failure(name, problem)};
    }
    QImage image = reader.read();
    if (image.isNull()) {
        // Qt's own reasons ("Unable to read image data") do not tell a user what is wrong.
        QString reason = QStringLiteral("the file is damaged or truncated");
        if (reader.error() == QImageReader::UnsupportedFormatError)
            reason = QStringLiteral("not a picture format this program can read");
        else if (bmp)
            reason = QStringLiteral("the file is damaged or uses a kind of BMP this program "
                                    "cannot read");
        return {{}, failure(name, reason)};
    }
    if (bmp && (bmp->compression() == BmpFile::Compression::Rle8 ||
                bmp->compression() == BmpFile::Compression::Rle4)) {
        // Qt leaves the pixels that compressed data skips undefined; decode them ourselves.
        if (!bmp->decodeRle(bytes, image))
            return {{},
                    failure(name, QStringLiteral("the file is damaged: its compressed "
                                                 "picture data cannot be decoded"))};
    }
    return {image, {}};
}

} // namespace kelviq
