#include "RunFinder.h"

#include <bit>
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

RunFinder::RunFinder(const Raster& raster, ColorValue target) : m_raster(raster), m_target(target)
{
    if (raster.layout() == Raster::Layout::Bits || raster.layout() == Raster::Layout::Indexed) {
        int count = 0;
        for (int i = 0; i < 256; ++i) {
            const bool match = raster.paletteColor(i) == target;
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

void RunFinder::findRunsByPoint(int y, std::vector<Run>& runs) const
{
    runs.clear();
    const int width = m_raster.width();
    int begin = -1;
    for (int x = 0; x < width; ++x) {
        const bool match = m_raster.point(x, y) == m_target;
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
        if (m_target < 0 || m_target > 0xffffff)
            return; // no pixel can have it
        const auto* pixels = reinterpret_cast<const QRgb*>(line);
        const QRgb wanted = rgbFromColorValue(m_target) & 0x00ffffffu;
        collectRuns(width, runs, [&](int x, bool matching) {
            return skipRgb(pixels, x, width, wanted, matching);
        });
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
