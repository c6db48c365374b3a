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

// Reads picture files through Qt's image reader: BMP and every other format it knows.
class PictureLoader
{
public:
    static LoadedPicture load(const QString& path);
    // Largest decoded picture accepted, in bytes: half the machine's memory.
    static qint64 memoryLimit();
};

} // namespace kelviq
