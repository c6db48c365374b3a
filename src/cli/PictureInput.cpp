#include "PictureInput.h"

#include "BmpRowSource.h"
#include "DisplayName.h"
#include "PictureLoader.h"
#include "PlotOutput.h"

namespace kelviq {

Raster PictureInput::openStreamed(const QString& path)
{
    return Raster::fromRows(BmpRowSource::open(path));
}

qint64 PictureInput::claimedBytes(const QString& /*path*/)
{
    return PictureLoader::memoryLimit();
}

PictureInput::Loaded PictureInput::decode(const QString& path)
{
    const LoadedPicture loaded = PictureLoader::load(path);
    if (!loaded.ok())
        return {{}, QString(loaded.error).replace(path, displayName(path))};
    Raster raster = Raster::fromImage(loaded.image);
    if (raster.isNull())
        return {{},
                QStringLiteral("Cannot read the picture %1: not enough memory to convert it")
                    .arg(displayName(path))};
    return {raster, {}};
}

FileIdentity PictureInput::identity(const QString& path)
{
    return identityOfPath(path);
}

} // namespace kelviq
