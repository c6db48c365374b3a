#pragma once

#include "trace/ColorValue.h"
#include "trace/Raster.h"
#include "trace/Run.h"
#include "trace/TraceSettings.h"

#include <array>
#include <vector>

namespace kelviq {

// Finds the runs of selected pixels in the rows of a raster, reading each row in its own
// layout. Selection is per pixel (colour, tolerance, inversion); speck removal, which needs
// neighbouring rows, is the Tracer's.
class RunFinder
{
public:
    RunFinder(const Raster& raster, const TraceSettings& settings);

    // Whether a pixel of this colour is selected.
    bool selects(ColorValue color) const;

    // Replaces runs with the runs of row y, left to right.
    void findRuns(int y, std::vector<Run>& runs) const;

private:
    void findBitRuns(const unsigned char* line, std::vector<Run>& runs) const;

    const Raster& m_raster;
    TraceSettings m_settings;
    std::array<bool, 256> m_matches{};
    // The one palette index that is selected, or -1 when there are none or several.
    int m_onlyIndex = -1;
};

} // namespace kelviq
