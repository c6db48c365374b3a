#include "RunFinder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kelviq {

namespace {

// The first column from x on whose pixel matches wanted or not, opposite to matching; width
// when there is none. Compares four pixels at a time where the processor can.
[[gnu::always_inline]] inline int skipRgb(const QRgb* pixels, int x, int width, QRgb wanted,
                                          bool matching)
{
    // Short runs are common: settle the first pixel before setting up the wide compare.
    if (x < width && ((pixels[x] & 0x00ffffffu) == wanted) != matching)
        return x;
#ifdef __SSE2__
    const __m128i colorBits = _mm_set1_epi32(0x00ffffff);
    const __m128i target = _mm_set1_epi32(static_cast<int>(wanted));
    const int stop = matching ? 0xf : 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
        const __m128i equal = _mm_cmpeq_epi32(_mm_and_si128(four, colorBits), target);
        const int mask = _mm_movemask_ps(_mm_castsi128_ps(equal));
        if (mask != stop)
            return x + std::countr_zero(static_cast<unsigned>(matching ? ~mask : mask));
    }
#endif
    while (x < width && ((pixels[x] & 0x00ffffffu) == wanted) == matching)
        ++x;
    return x;
}

// The first column from x on whose pixel is within the tolerance of wanted or not, opposite
// to matching; width when there is none. Every channel's distance is compared at once, four
// pixels at a time, so a tolerance costs about what an exact match does.
[[gnu::always_inline]] inline bool withinTolerance(QRgb pixel, QRgb wanted, int tolerance)
{
    return std::abs(qRed(pixel) - qRed(wanted)) <= tolerance &&
           std::abs(qGreen(pixel) - qGreen(wanted)) <= tolerance &&
           std::abs(qBlue(pixel) - qBlue(wanted)) <= tolerance;
}

[[gnu::always_inline]] inline int skipNear(const QRgb* pixels, int x, int width, QRgb wanted,
                                           int tolerance, bool matching)
{
    if (x < width && withinTolerance(pixels[x], wanted, tolerance) != matching)
        return x;
#ifdef __SSE2__
    const __m128i target = _mm_set1_epi32(static_cast<int>(wanted));
    // The alpha byte's limit is 255, so it never counts.
    const __m128i limit = _mm_set1_epi32(
        static_cast<int>(0xff000000u | (0x010101u * static_cast<quint32>(tolerance))));
    const __m128i zero = _mm_setzero_si128();
    const int stop = matching ? 0xf : 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
        const __m128i distance =
            _mm_sub_epi8(_mm_max_epu8(four, target), _mm_min_epu8(four, target));
        const __m128i within = _mm_cmpeq_epi32(_mm_subs_epu8(distance, limit), zero);
        const int mask = _mm_movemask_ps(_mm_castsi128_ps(within));
        if (mask != stop)
            return x + std::countr_zero(static_cast<unsigned>(matching ? ~mask : mask));
    }
#endif
    while (x < width && withinTolerance(pixels[x], wanted, tolerance) == matching)
        ++x;
    return x;
}

// The same for palette pictures with one index of the target colour, sixteen pixels at a time.
[[gnu::always_inline]] inline int skipIndex(const uchar* pixels, int x, int width, uchar wanted,
                                            bool matching)
{
    if (x < width && (pixels[x] == wanted) != matching)
        return x;
#ifdef __SSE2__
    const __m128i target = _mm_set1_epi8(static_cast<char>(wanted));
    const int stop = matching ? 0xffff : 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + x));
        const int mask = _mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, target));
        if (mask != stop)
            return x + std::countr_zero(static_cast<unsigned>(matching ? ~mask : mask));
    }
#endif
    while (x < width && (pixels[x] == wanted) == matching)
        ++x;
    return x;
}

// Alternates between skipping pixels that do not match and pixels that do; skip(x, matching)
// returns the first column from x on whose match differs from matching, or width.
template <typename Skip>
[[gnu::always_inline]] inline void collectRuns(int width, std::vector<Run>& runs, Skip skip)
{
    int x = 0;
    while (x < width) {
        x = skip(x, false);
        if (x == width)
            break;
        const int begin = x;
        x = skip(x, true);
        runs.push_back({begin, x});
    }
}

} // namespace

RunFinder::RunFinder(const Raster& raster, ColorValue target)
    : RunFinder(raster, TraceSettings{target, 0, false, 0})
{
}

RunFinder::RunFinder(const Raster& raster, const TraceSettings& settings)
    : m_raster(raster), m_settings(settings)
{
    // The edges refuse anything else; the wide compare relies on it.
    m_settings.tolerance = std::clamp(m_settings.tolerance, 0, 255);
    if (raster.layout() == Raster::Layout::Bits || raster.layout() == Raster::Layout::Indexed) {
        int count = 0;
        for (int i = 0; i < 256; ++i) {
            const bool match = selects(raster.paletteColor(i));
            m_matches[static_cast<std::size_t>(i)] = match;
            if (match) {
                m_onlyIndex = i;
                ++count;
            }
        }
        if (count != 1)
            m_onlyIndex = -1;
    }
}

bool RunFinder::selects(ColorValue color) const
{
    const bool within = color >= 0 && color <= 0xffffff && m_settings.target >= 0 &&
                        m_settings.target <= 0xffffff &&
                        withinTolerance(rgbFromColorValue(color),
                                        rgbFromColorValue(m_settings.target), m_settings.tolerance);
    return within != m_settings.invert;
}

void RunFinder::findRunsByPoint(int y, std::vector<Run>& runs) const
{
    runs.clear();
    const int width = m_raster.width();
    int begin = -1;
    for (int x = 0; x < width; ++x) {
        const bool match = selects(m_raster.point(x, y));
        if (match && begin < 0)
            begin = x;
        else if (!match && begin >= 0) {
            runs.push_back({begin, x});
            begin = -1;
        }
    }
    if (begin >= 0)
        runs.push_back({begin, width});
}

void RunFinder::findRuns(int y, std::vector<Run>& runs) const
{
    runs.clear();
    const int width = m_raster.width();
    const uchar* line = m_raster.row(y);
    switch (m_raster.layout()) {
    case Raster::Layout::Bits:
        findBitRuns(line, runs);
        return;
    case Raster::Layout::Indexed:
        if (m_onlyIndex >= 0) {
            const auto index = static_cast<uchar>(m_onlyIndex);
            collectRuns(width, runs, [&](int x, bool matching) {
                return skipIndex(line, x, width, index, matching);
            });
        } else {
            collectRuns(width, runs, [&](int x, bool matching) {
                while (x < width && m_matches[line[x]] == matching)
                    ++x;
                return x;
            });
        }
        return;
    case Raster::Layout::Rgb: {
        const ColorValue target = m_settings.target;
        const bool invert = m_settings.invert;
        if (target < 0 || target > 0xffffff) {
            // No pixel can be near it.
            if (invert && width > 0)
                runs.push_back({0, width});
            return;
        }
        const auto* pixels = reinterpret_cast<const QRgb*>(line);
        const QRgb wanted = rgbFromColorValue(target) & 0x00ffffffu;
        // A pixel is selected when its nearness differs from invert.
        if (m_settings.tolerance == 0) {
            collectRuns(width, runs, [&](int x, bool matching) {
                return skipRgb(pixels, x, width, wanted, matching != invert);
            });
        } else {
            const int tolerance = m_settings.tolerance;
            collectRuns(width, runs, [&](int x, bool matching) {
                return skipNear(pixels, x, width, wanted, tolerance, matching != invert);
            });
        }
        return;
    }
    case Raster::Layout::Empty:
        return;
    }
}

void RunFinder::findBitRuns(const uchar* line, std::vector<Run>& runs) const
{
    const int width = m_raster.width();
    const bool zeroMatches = m_matches[0];
    const bool oneMatches = m_matches[1];
    if (!zeroMatches && !oneMatches)
        return;
    if (zeroMatches && oneMatches) {
        runs.push_back({0, width});
        return;
    }
    // Pixels are bits, first pixel in the top bit. Read 64 of them at a time, flipped so that
    // a set bit is a matching pixel, and jump over whole words of one kind.
    const int bytes = (width + 7) / 8;
    auto word = [&](int x) -> std::uint64_t {
        const int first = x >> 3;
        unsigned char buffer[8] = {};
        std::memcpy(buffer, line + first, static_cast<std::size_t>(std::min(8, bytes - first)));
        std::uint64_t w = 0;
        for (unsigned char b : buffer)
            w = (w << 8) | b;
        if (zeroMatches)
            w = ~w;
        return w << (x & 7); // drop the bits before x
    };
    int x = 0;
    bool inRun = false;
    int begin = 0;
    while (x < width) {
        const std::uint64_t w = inRun ? ~word(x) : word(x);
        // Bits available in this word from x on.
        const int available = 64 - (x & 7);
        const int skip = std::countl_zero(w);
        if (skip >= available) {
            x += available;
            continue;
        }
        x += skip;
        if (x >= width)
            break;
        if (inRun)
            runs.push_back({begin, x});
        else
            begin = x;
        inRun = !inRun;
    }
    if (inRun)
        runs.push_back({begin, width});
}

} // namespace kelviq
