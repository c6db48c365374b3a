#pragma once

#include "plot/Contour.h"

#include <vector>

namespace kelviq {

// One group of traced pixels joined by their edges, as the union of their squares: the outer
// contour and one contour per hole. Contours are made by OutlineTracer, which documents how
// they run.
struct Shape
{
    Contour outline;
    std::vector<Contour> holes;
};

} // namespace kelviq
