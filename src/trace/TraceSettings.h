#pragma once

#include "trace/ColorValue.h"

namespace kelviq {

// Which pixels are traced. The defaults trace exactly the pixels of the target colour.
struct TraceSettings
{
    ColorValue target = 0;
    // A pixel is selected when each of its red, green and blue differs from the target's by at
    // most this much (0-255); 0 is an exact match.
    int tolerance = 0;
    // Select every pixel that is not within the tolerance instead.
    bool invert = false;
    // After selecting, groups of selected pixels touching by an edge or a corner that hold fewer
    // than this many pixels are dropped; 0 and 1 drop nothing.
    int despeckle = 0;

    friend bool operator==(const TraceSettings&, const TraceSettings&) = default;
};

} // namespace kelviq
