#pragma once

#include "trace/ColorValue.h"
#include "trace/Raster.h"

#include <QtGlobal>
#include <array>
#include <atomic>
#include <optional>

namespace kelviq {

// A tolerance worth trying: anti-aliased and photographed artwork has few pixels of exactly
// the picked colour and many close to it. Counted on a sample of the picture's rows, by how
// far each pixel's red, green and blue lie from the picked colour (the largest of the three,
// as the tolerance compares them).
struct ToleranceHint
{
    int tolerance = 0;
    double timesExact = 0.0; // pixels within the tolerance per pixel of exactly the colour

    // Pixels per distance 0 .. 255 on rows spread evenly over the picture, about SampledPixels
    // in all; nothing when cancelled.
    static std::optional<std::array<qint64, 256>>
    distances(const Raster& picture, ColorValue target, const std::atomic<bool>& cancelled);
    // The hint for such counts: the tolerance at which the near colours stop adding many
    // pixels, when it takes in several times as many as the exact colour; else nothing.
    static std::optional<ToleranceHint> fromDistances(const std::array<qint64, 256>& counts);

    static constexpr qint64 SampledPixels = 1'000'000;
};

} // namespace kelviq
