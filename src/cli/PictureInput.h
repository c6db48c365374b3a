#pragma once

#include "picture/PictureDensity.h"
#include "trace/Raster.h"

#include <QString>
#include <functional>

namespace kelviq {

// Where the converter's pictures come from: the one place that reads them.
class PictureInput
{
public:
    struct Loaded
    {
        Raster raster;
        QString error;          // names the picture and the reason; empty on success
        PictureDensity density; // what the picture says of its size
    };

    // Reads the picture once: a plain bitmap on disk row by row while it is converted, so it
    // takes next to no memory, any other picture decoded whole. reserve is told the memory
    // it will take from the size its header claims, before it is decoded.
    static Loaded load(const QString& path, const std::function<void(qint64 bytes)>& reserve);
};

} // namespace kelviq
