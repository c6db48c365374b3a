#pragma once

#include "picture/PictureDensity.h"
#include "trace/Raster.h"
#include "trace/TraceSettings.h"

#include <QPoint>
#include <QString>
#include <functional>
#include <optional>

namespace kelviq {

// Where the converter's pictures come from: the one place that reads them.
class PictureInput
{
public:
    struct Loaded
    {
        Raster raster;
        QString error;          // names the picture and the reason; empty on success
        bool turned = false;    // turned as its EXIF orientation says
        PictureDensity density; // what the picture says of its size
    };

    // How the picture will be traced: a picture that must be held whole (interlaced, or
    // turned) is then held a byte a pixel.
    struct Tracing
    {
        TraceSettings settings;
        std::optional<QPoint> pick; // the target is the colour of this pixel
        bool ignoreOrientation = false;
    };

    // Reads the picture once, row by row while it is converted, so that it takes little memory
    // whatever its size. reserve is told the memory it will take from the size its header
    // claims, before it is decoded.
    static Loaded load(const QString& path, const Tracing& tracing,
                       const std::function<void(qint64 bytes)>& reserve);
};

} // namespace kelviq
