#pragma once

#include "plot/Shape.h"
#include "trace/Run.h"

#include <vector>

namespace kelviq {

// Cuts a shape made by OutlineTracer along whole grid lines: its pixels between two cut lines
// are traced again on their own, so every part is a shape by the tracer's rules (parts of a
// band that meet only at a corner come apart). The parts' union is exactly the shape, and
// neighbouring parts share the edges along the cuts. Parts come from the top down.
class ShapeCutter
{
public:
    // Appends the parts; lines are grid lines in increasing order, those outside the shape's
    // rows left alone.
    void cut(const Shape& shape, const std::vector<int>& lines, std::vector<Shape>& parts);

private:
    std::vector<std::vector<int>> m_rowEdges;
    std::vector<Run> m_runs;
};

} // namespace kelviq
