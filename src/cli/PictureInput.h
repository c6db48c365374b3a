#pragma once

#include "FileIdentity.h"
#include "Raster.h"

#include <QString>

namespace kelviq {

// Where the converter's pictures come from: the one place that reads them.
class PictureInput
{
public:
    struct Loaded
    {
        Raster raster;
        QString error; // names the picture and the reason; empty on success
    };

    // A plain bitmap, read row by row while it is converted: nothing decoded ahead, so it
    // takes next to no memory. Null for any other picture.
    static Raster openStreamed(const QString& path);
    // The memory a picture decoded whole will take at most, known before decoding it. The
    // loader cannot tell yet, so this is the most it accepts for one picture.
    static qint64 claimedBytes(const QString& path);
    // Decodes the whole picture.
    static Loaded decode(const QString& path);
    // Which file the picture is, so that no plot replaces it.
    static FileIdentity identity(const QString& path);
};

} // namespace kelviq
