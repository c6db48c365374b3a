#include "cli/PictureInput.h"

#include "output/DisplayName.h"
#include "picture/PictureLoader.h"

namespace kelviq {

PictureInput::Loaded PictureInput::load(const QString& path,
                                        const std::function<void(qint64 bytes)>& reserve)
{
    LoadOptions options;
    options.reserve = reserve;
    const LoadResult loaded = PictureLoader::load(path, LoadMode::Stream, options);
    if (!loaded.ok())
        return {{}, QString(loaded.error).replace(path, displayName(path))};
    return {loaded.raster, {}};
}

} // namespace kelviq
