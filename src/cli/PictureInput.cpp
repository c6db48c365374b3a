#include "cli/PictureInput.h"

#include "output/DisplayName.h"
#include "picture/PictureLoader.h"

namespace kelviq {

PictureInput::Loaded PictureInput::load(const QString& path, const Tracing& tracing,
                                        const std::function<void(qint64 bytes)>& reserve)
{
    LoadOptions options;
    options.reserve = reserve;
    options.selection = tracing.settings;
    options.pick = tracing.pick;
    options.ignoreOrientation = tracing.ignoreOrientation;
    const LoadResult loaded = PictureLoader::load(path, LoadMode::Stream, options);
    if (!loaded.ok())
        return {{}, QString(loaded.error).replace(path, displayName(path)), false, {}};
    return {loaded.raster, {}, loaded.turned(), loaded.density};
}

} // namespace kelviq
