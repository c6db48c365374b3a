#pragma once

#include <QImage>
#include <QString>

namespace kelviq {

struct LoadedPicture
{
    QImage image;
    QString error; // names the file and the reason; empty on success
    bool ok() const { return error.isEmpty(); }
};

// Reads picture files through Qt's image reader: BMP and every other format it knows. Bitmap
// files are checked first, so that a damaged or truncated one is refused with its reason
// instead of giving a picture with undefined pixels.
class PictureLoader
{
public:
    static LoadedPicture load(const QString& path);
    // The same for a file already read into memory; name stands for it in messages.
    static LoadedPicture loadFromData(const QByteArray& data, const QString& name);
    // Largest decoded picture accepted, in bytes: half the machine's memory.
    static qint64 memoryLimit();
};

} // namespace kelviq
