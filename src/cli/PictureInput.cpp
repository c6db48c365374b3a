#include "PictureInput.h"

#include "DisplayName.h"
#include "PictureLoader.h"

namespace kelviq {

PictureInput::Loaded PictureInput::load(const QString& path,
                                        const std::function<void(qint64 bytes)>& reserve)
{
    const LoadResult loaded = PictureLoader::load(path, LoadMode::Stream, reserve);
    if (!loaded.ok())
        return {{}, QString(loaded.error).replace(path, displayName(path))};
    return {loaded.raster, {}};
}

} // namespace kelviq
