#include "trace/RunFinder.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace kelviq {

namespace {

// Whether the channel of two pixel words at this bit position differs by at most tolerance.
[[gnu::always_inline]] inline bool channelNear(RgbWord pixel, RgbWord wanted, int shift,
                                               int tolerance)
{
    return std::abs(static_cast<int>((pixel >> shift) & 0xff) -
                    static_cast<int>((wanted >> shift) & 0xff)) <= tolerance;
}

[[gnu::always_inline]] inline bool withinTolerance(RgbWord pixel, RgbWord wanted, int tolerance)
{
    return channelNear(pixel, wanted, 16, tolerance) && channelNear(pixel, wanted, 8, tolerance) &&
           channelNear(pixel, wanted, 0, tolerance);
}

using Bits = std::uint64_t;
constexpr int Chunk = 64;

// Turns the selected pixels of a row, 64 columns at a time as bits (bit i: column x + i), into
// runs. Only the columns where selection changes cost anything, so a row of long runs and a
// row of one-pixel stripes both go at the speed of reading it. selectedBits(x, count) gives
// the bits of count columns from x, count 64 except at the row's end.
template <typename SelectedBits>
[[gnu::always_inline]] inline void runsFromBits(int width, std::vector<Run>& runs,
                                                SelectedBits selectedBits)
{
    bool inRun = false;
    int begin = 0;
    for (int x = 0; x < width; x += Chunk) {
        const int count = std::min(Chunk, width - x);
        const Bits selected = selectedBits(x, count);
        Bits changes = selected ^ ((selected << 1) | Bits(inRun));
        if (count < Chunk)
            changes &= (Bits(1) << count) - 1;
        while (changes != 0) {
            const int at = x + std::countr_zero(changes);
            changes &= changes - 1;
            if (inRun)
                runs.push_back({begin, at});
            else
                begin = at;
            inRun = !inRun;
        }
    }
    if (inRun)
        runs.push_back({begin, width});
}

// Bits of the pixels for which selected(column) holds, one at a time: for the row's last
// columns and for palettes with several selected entries.
template <typename Selected>
[[gnu::always_inline]] inline Bits bitsOneByOne(int x, int count, Selected selected)
{
    Bits bits = 0;
    for (int i = 0; i < count; ++i)
        bits |= Bits(selected(x + i)) << i;
    return bits;
}

#ifdef __SSE2__
// Four pixels of the target colour (exactly, or within the tolerance when limit is given) as
// four bits.
[[gnu::always_inline]] inline Bits fourExact(const RgbWord* pixels, __m128i target)
{
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m128i colorBits = _mm_set1_epi32(0x00ffffff);
    const __m128i equal = _mm_cmpeq_epi32(_mm_and_si128(four, colorBits), target);
    return static_cast<Bits>(_mm_movemask_ps(_mm_castsi128_ps(equal)));
}

[[gnu::always_inline]] inline Bits fourNear(const RgbWord* pixels, __m128i target, __m128i limit)
{
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels));
    const __m128i distance = _mm_sub_epi8(_mm_max_epu8(four, target), _mm_min_epu8(four, target));
    const __m128i within = _mm_cmpeq_epi32(_mm_subs_epu8(distance, limit), _mm_setzero_si128());
    return static_cast<Bits>(_mm_movemask_ps(_mm_castsi128_ps(within)));
}
#endif

} // namespace

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
    const bool within =
        color >= 0 && color <= 0xffffff && m_settings.target >= 0 &&
        m_settings.target <= 0xffffff &&
        withinTolerance(wordFromColorValue(color), wordFromColorValue(m_settings.target),
                        m_settings.tolerance);
    return within != m_settings.invert;
}

void RunFinder::findRuns(int y, std::vector<Run>& runs) const
{
    runs.clear();
    const int width = m_raster.width();
    const unsigned char* line = m_raster.row(y);
    switch (m_raster.layout()) {
    case Raster::Layout::Bits:
        findBitRuns(line, runs);
        return;
    case Raster::Layout::Indexed: {
        auto selected = [&](int x) { return m_matches[line[x]]; };
        if (m_onlyIndex < 0) {
            runsFromBits(width, runs,
                         [&](int x, int count) { return bitsOneByOne(x, count, selected); });
            return;
        }
        const auto index = static_cast<unsigned char>(m_onlyIndex);
        runsFromBits(width, runs, [&](int x, int count) {
#ifdef __SSE2__
            if (count == Chunk) {
                const __m128i wanted = _mm_set1_epi8(static_cast<char>(index));
                Bits bits = 0;
                for (int i = 0; i < Chunk; i += 16) {
                    const __m128i sixteen =
                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x + i));
                    bits |= static_cast<Bits>(static_cast<unsigned>(
                                _mm_movemask_epi8(_mm_cmpeq_epi8(sixteen, wanted))))
                            << i;
                }
                return bits;
            }
#endif
            return bitsOneByOne(x, count, [&](int c) { return line[c] == index; });
        });
        return;
    }
    case Raster::Layout::Rgb: {
        const ColorValue target = m_settings.target;
        const Bits invert = m_settings.invert ? ~Bits(0) : 0;
        if (target < 0 || target > 0xffffff) {
            // No pixel can be near it.
            if (invert && width > 0)
                runs.push_back({0, width});
            return;
        }
        const auto* pixels = reinterpret_cast<const RgbWord*>(line);
        const RgbWord wanted = wordFromColorValue(target) & 0x00ffffffu;
        const int tolerance = m_settings.tolerance;
        auto near = [&](int x) { return withinTolerance(pixels[x], wanted, tolerance); };
#ifdef __SSE2__
        const __m128i target4 = _mm_set1_epi32(static_cast<int>(wanted));
        // The alpha byte's limit is 255, so it never counts.
        const __m128i limit = _mm_set1_epi32(
            static_cast<int>(0xff000000u | (0x010101u * static_cast<std::uint32_t>(tolerance))));
#endif
        if (tolerance == 0) {
            runsFromBits(width, runs, [&](int x, int count) {
#ifdef __SSE2__
                if (count == Chunk) {
                    Bits bits = 0;
                    for (int i = 0; i < Chunk; i += 4)
                        bits |= fourExact(pixels + x + i, target4) << i;
                    return bits ^ invert;
                }
#endif
                return bitsOneByOne(x, count,
                                    [&](int c) { return (pixels[c] & 0x00ffffffu) == wanted; }) ^
                       invert;
            });
        } else {
            runsFromBits(width, runs, [&](int x, int count) {
#ifdef __SSE2__
                if (count == Chunk) {
                    Bits bits = 0;
                    for (int i = 0; i < Chunk; i += 4)
                        bits |= fourNear(pixels + x + i, target4, limit) << i;
                    return bits ^ invert;
                }
#endif
                return bitsOneByOne(x, count, near) ^ invert;
            });
        }
        return;
    }
    case Raster::Layout::Empty:
        return;
    }
}

void RunFinder::findBitRuns(const unsigned char* line, std::vector<Run>& runs) const
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
