#pragma once

#include "trace/Run.h"

#include <QtGlobal>
#include <vector>

namespace kelviq {

// Reading and setting the bits of a row of a 1-bit mask (first pixel in the top bit), as the
// traced pixels and the filled outlines are kept.
class MaskRow
{
public:
    static bool bitAt(const uchar* line, int x)
    {
        return ((line[x >> 3] >> (7 - (x & 7))) & 1) != 0;
    }
    // The first column from `from` on, before `to`, whose bit is `set`; `to` when there is
    // none. Reads eight bytes at a time where it can.
    static int nextBit(const uchar* line, int from, int to, bool set);
    // Runs of set bits among columns from .. to-1, cut at from and to.
    static void runs(const uchar* line, int from, int to, std::vector<Run>& runs);
    // Sets bits begin .. end-1.
    static void setBits(uchar* line, int begin, int end);
};

} // namespace kelviq
