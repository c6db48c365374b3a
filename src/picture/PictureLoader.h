#pragma once

#include "picture/PictureDensity.h"
#include "trace/Raster.h"

#include <QByteArray>
#include <QString>
#include <functional>

namespace kelviq {

class PictureStream;
struct LoadControl;

enum class LoadMode
{
    // For converting: a plain bitmap file may stay on disk and be read row by row.
    Stream,
    // For showing: the whole picture decoded, in its own compact form, held once.
    Decode
};

struct LoadResult
{
    Raster raster;
    QString error;          // names the file and the reason; empty on success
    PictureDensity density; // what the file states, if anything
    bool ok() const { return error.isEmpty(); }
};

// Reads a picture file once, from its start, also from a pipe, a FIFO or standard input:
// BMP, PNG, JPEG, GIF, ICO/CUR, PBM/PGM/PPM, XBM and XPM, told apart by their first bytes.
// The size a file claims is checked before anything is decoded, and every file is checked
// whole (by the format's own library where Qt's reader would patch over faults), so that a
// cut or damaged file is refused with its reason instead of traced from invented pixels.
class PictureLoader
{
public:
    // Told the memory a picture will take (0 when it is streamed) once its header is read and
    // before it is decoded; may wait until that much is free.
    using Reserve = std::function<void(qint64 bytes)>;

    // "-" stands for standard input. control, when given, counts the bytes read and can stop
    // the load from another thread: it then fails with cancelledText().
    static LoadResult load(const QString& path, LoadMode mode, const Reserve& reserve = {},
                           LoadControl* control = nullptr);
    // The same for a picture already in memory; name stands for it in messages.
    static LoadResult loadFromData(const QByteArray& data, const QString& name,
                                   LoadMode mode = LoadMode::Decode);
    // Largest memory a picture may take while it is loaded, in bytes: half the machine's.
    static qint64 memoryLimit();
    // The reason of a cancelled load.
    static QString cancelledText();
};

} // namespace kelviq
