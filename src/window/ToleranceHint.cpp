#include "window/ToleranceHint.h"

#include <algorithm>
#include <cstdlib>

namespace kelviq {

namespace {

// Tolerances beyond this take in colours that merely resemble the picked one.
constexpr int LargestHint = 96;
// The near colours have been taken in when the next Span levels add less than a twentieth.
constexpr int Span = 16;
// A hint only where the near colours outnumber the exact one this many times, and make up at
// least a thousandth of the picture.
constexpr double Outnumber = 3.0;

int distance(ColorValue a, ColorValue b)
{
    return std::max({std::abs((a & 0xff) - (b & 0xff)),
                     std::abs(((a >> 8) & 0xff) - ((b >> 8) & 0xff)),
                     std::abs(((a >> 16) & 0xff) - ((b >> 16) & 0xff))});
}

} // namespace

std::optional<std::array<qint64, 256>> ToleranceHint::distances(const Raster& picture,
                                                                ColorValue target,
                                                                const std::atomic<bool>& cancelled)
{
    std::array<qint64, 256> counts{};
    const qint64 width = std::max(1, picture.width());
    const int step =
        static_cast<int>(std::max<qint64>(1, qint64(picture.height()) * width / SampledPixels + 1));
    for (int y = step / 2; y < picture.height(); y += step) {
        if (cancelled.load())
            return std::nullopt;
        for (int x = 0; x < picture.width(); ++x)
            ++counts[static_cast<std::size_t>(distance(picture.point(x, y), target))];
    }
    return counts;
}

std::optional<ToleranceHint> ToleranceHint::fromDistances(const std::array<qint64, 256>& counts)
{
    qint64 all = 0;
    for (const qint64 count : counts)
        all += count;
    std::array<qint64, 256> within{}; // pixels within each tolerance
    qint64 sum = 0;
    for (std::size_t d = 0; d < counts.size(); ++d)
        within[d] = sum += counts[d];
    const qint64 exact = counts[0];
    for (int t = 1; t <= LargestHint; ++t) {
        const qint64 here = within[static_cast<std::size_t>(t)];
        if (within[static_cast<std::size_t>(t + Span)] - here >= here / 20)
            continue;
        // A round number a little beyond the knee takes in its last stragglers.
        const int tolerance = std::min(LargestHint, (t + 4) / 5 * 5);
        const qint64 taken = within[static_cast<std::size_t>(tolerance)];
        if (taken < Outnumber * std::max<qint64>(exact, 1) || taken - exact < all / 1000)
            return std::nullopt;
        return ToleranceHint{tolerance, exact > 0 ? double(taken) / double(exact) : 0.0};
    }
    return std::nullopt;
}

} // namespace kelviq
