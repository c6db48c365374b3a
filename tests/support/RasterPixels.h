#pragma once

#include "trace/Raster.h"

#include <vector>

namespace testfiles {

// Every pixel's colour as traced, rows from the top: two pictures are the same when these are.
inline std::vector<kelviq::ColorValue> pixels(const kelviq::Raster& raster)
{
    std::vector<kelviq::ColorValue> all;
    all.reserve(static_cast<std::size_t>(raster.width()) *
                static_cast<std::size_t>(raster.height()));
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            all.push_back(raster.point(x, y));
    return all;
}

} // namespace testfiles
