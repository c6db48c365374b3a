#include "RunFinder.h"

#include <bit>
#include <cstring>

namespace kelviq {

RunFinder::RunFinder(const Raster& raster, ColorValue target) : m_raster(raster), m_target(target)
{
    if (raster.layout() == Raster::Layout::Bits || raster.layout() == Raster::Layout::Indexed) {
        for (int i = 0; i < 256; ++i)
            m_matches[static_cast<std::size_t>(i)] = raster.paletteColor(i) == target;
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
    case Raster::Layout::Indexed: {
        int x = 0;
        while (x < width) {
            while (x < width && !m_matches[line[x]])
                ++x;
            if (x == width)
                break;
            const int begin = x;
            while (x < width && m_matches[line[x]])
                ++x;
            runs.push_back({begin, x});
        }
        return;
    }
    case Raster::Layout::Rgb: {
        const auto* pixels = reinterpret_cast<const QRgb*>(line);
        const QRgb wanted = rgbFromColorValue(m_target) & 0x00ffffffu;
        if (m_target < 0 || m_target > 0xffffff)
            return; // no pixel can have it
        int x = 0;
        while (x < width) {
            while (x < width && (pixels[x] & 0x00ffffffu) != wanted)
                ++x;
            if (x == width)
                break;
            const int begin = x;
            while (x < width && (pixels[x] & 0x00ffffffu) == wanted)
                ++x;
            runs.push_back({begin, x});
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
