#pragma once

#include "ColorValue.h"
#include "Raster.h"

#include <array>
#include <vector>

namespace kelviq {

// A maximal horizontal run of the target colour: columns begin .. end-1 of one row.
struct Run
{
    int begin;
    int end;
    friend bool operator==(const Run&, const Run&) = default;
};

// Finds the runs of one colour in the rows of a raster, reading each row in its own layout.
class RunFinder
{
public:
    RunFinder(const Raster& raster, ColorValue target);

    // Replaces runs with the runs of row y, left to right.
    void findRuns(int y, std::vector<Run>& runs) const;
    // The same through one point() per pixel: slow, kept as the reference the fast paths
    // are checked against.
    void findRunsByPoint(int y, std::vector<Run>& runs) const;

private:
    void findBitRuns(const uchar* line, std::vector<Run>& runs) const;

    const Raster& m_raster;
    ColorValue m_target;
    std::array<bool, 256> m_matches{};
    // The one palette index with the target colour, or -1 when there are none or several.
    int m_onlyIndex = -1;
};

} // namespace kelviq
