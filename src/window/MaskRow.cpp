#include "window/MaskRow.h"

#include <QtEndian>
#include <bit>
#include <cstdint>
#include <cstring>

namespace kelviq {

int MaskRow::nextBit(const uchar* line, int from, int to, bool set)
{
    const uchar flip = set ? 0x00 : 0xff; // makes the bits looked for ones
    int x = from;
    for (; x < to && (x & 7) != 0; ++x) {
        if (bitAt(line, x) == set)
            return x;
    }
    for (; x + 64 <= to; x += 64) {
        std::uint64_t word = 0; // the first pixel in the top bit
        for (int i = 0; i < 8; ++i)
            word = (word << 8) | static_cast<uchar>(line[(x >> 3) + i] ^ flip);
        if (word != 0)
            return x + std::countl_zero(word);
    }
    for (; x + 8 <= to; x += 8) {
        const auto byte = static_cast<uchar>(line[x >> 3] ^ flip);
        if (byte != 0)
            return x + std::countl_zero(byte);
    }
    for (; x < to; ++x) {
        if (bitAt(line, x) == set)
            return x;
    }
    return to;
}

void MaskRow::runs(const uchar* line, int from, int to, std::vector<Run>& runs)
{
    runs.clear();
    bool inside = false; // whether the bit before x is set
    int begin = 0;
    const auto flip = [&](int x) {
        if (inside)
            runs.push_back({begin, x});
        else
            begin = x;
        inside = !inside;
    };
    int x = from;
    for (; x < to && (x & 7) != 0; ++x) {
        if (bitAt(line, x) != inside)
            flip(x);
    }
    // Sixty-four bits at a time, visiting only where a bit differs from the one before it:
    // dense patterns cost their runs, wide runs next to nothing.
    for (; x + 64 <= to; x += 64) {
        const auto word = qFromBigEndian<quint64>(line + (x >> 3)); // first pixel in the top bit
        quint64 changes = word ^ ((word >> 1) | (quint64(inside) << 63));
        while (changes != 0) {
            const int at = std::countl_zero(changes);
            flip(x + at);
            changes &= ~(quint64(1) << (63 - at));
        }
    }
    for (; x < to; ++x) {
        if (bitAt(line, x) != inside)
            flip(x);
    }
    if (inside)
        runs.push_back({begin, to});
}

void MaskRow::setBits(uchar* line, int begin, int end)
{
    if (begin >= end)
        return;
    const int first = begin >> 3;
    const int last = (end - 1) >> 3;
    const auto head = static_cast<uchar>(0xffu >> (begin & 7));
    const auto tail = static_cast<uchar>(0xffu << (7 - ((end - 1) & 7)));
    if (first == last) {
        line[first] |= head & tail;
        return;
    }
    line[first] |= head;
    if (last > first + 1)
        std::memset(line + first + 1, 0xff, static_cast<std::size_t>(last - first - 1));
    line[last] |= tail;
}

} // namespace kelviq
