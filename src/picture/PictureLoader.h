#pragma once

#include "picture/PictureDensity.h"
#include "trace/Raster.h"
#include "trace/TraceSettings.h"

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <functional>
#include <optional>

namespace kelviq {

class PictureStream;
struct LoadControl;

enum class LoadMode
{
    // For converting: rows decoded as the tracer reads them, top to bottom, so that a picture
    // of any size takes little memory; a plain bitmap file is read straight from the disk.
    Stream,
    // For showing: the whole picture decoded, in its own compact form, held once.
    Decode
};

struct LoadOptions
{
    // Told the memory the picture will take once its header is read, before it is decoded;
    // may wait until that much is free.
    std::function<void(qint64 bytes)> reserve;
    // The most memory a picture may take while it is loaded, in bytes; 0: half the machine's.
    qint64 memoryLimit = 0;
    // Keep the rows as stored, whatever the picture's EXIF orientation says.
    bool ignoreOrientation = false;
    // Streaming only: how the picture will be traced (the target colour, or the pixel picked
    // for it, in the picture as shown). Rows that must be held whole (interlaced files, turned
    // pictures) are then held a byte a pixel even when they are in colour: as the class of
    // their colour, which traces the same.
    std::optional<TraceSettings> selection;
    std::optional<QPoint> pick;
    // Counts the bytes read and stops the load from another thread (the window's).
    LoadControl* control = nullptr;
};

struct LoadResult
{
    Raster raster;
    QString error; // names the file and the reason; empty on success
    // The picture was turned or mirrored as its EXIF orientation (2 to 8) says; 1: as stored.
    int orientation = 1;
    // What the file states of its size, across and down the picture as it is shown.
    PictureDensity density;
    bool ok() const { return error.isEmpty(); }
    bool turned() const { return orientation != 1; }
};

// Reads a picture file once, from its start, also from a pipe, a FIFO or standard input:
// BMP, PNG, JPEG, GIF, ICO/CUR, PBM/PGM/PPM, XBM and XPM, told apart by their first bytes.
// The size a file claims is checked before anything is decoded, and every file is checked
// whole, so that a cut or damaged file is refused with its reason instead of traced from
// invented pixels. Running out of memory is told as such, never as damage.
class PictureLoader
{
public:
    // "-" stands for standard input. A load given a control fails with cancelledText() once
    // it is cancelled.
    static LoadResult load(const QString& path, LoadMode mode, const LoadOptions& options = {});
    // The same for a picture already in memory; name stands for it in messages.
    static LoadResult loadFromData(const QByteArray& data, const QString& name,
                                   LoadMode mode = LoadMode::Decode,
                                   const LoadOptions& options = {});
    // Largest memory a picture may take while it is loaded, in bytes: half the machine's.
    static qint64 memoryLimit();
    // The message for a picture that needs more memory than there is.
    static QString notEnoughMemoryText(const QString& name, qint64 bytes);
    // The reason of a cancelled load.
    static QString cancelledText();
};

} // namespace kelviq
