#include "plot/ShapeCutter.h"

#include "plot/OutlineTracer.h"

#include <algorithm>

namespace kelviq {

// Each row's runs are where the contours' vertical edges cross it; the rows are traced again,
// the tracer started afresh at every cut.
void ShapeCutter::cut(const Shape& shape, const std::vector<int>& lines, std::vector<Shape>& parts)
{
    const int top = shape.outline.front().y;
    int bottom = top;
    for (const Corner& c : shape.outline)
        bottom = std::max(bottom, c.y);
    m_rowEdges.resize(static_cast<std::size_t>(bottom - top));
    for (std::vector<int>& row : m_rowEdges)
        row.clear();
    auto addEdges = [this, top](const Contour& contour) {
        for (std::size_t i = 0; i < contour.size(); ++i) {
            const Corner a = contour[i];
            const Corner b = contour[(i + 1) % contour.size()];
            if (a.x != b.x)
                continue;
            for (int y = std::min(a.y, b.y); y < std::max(a.y, b.y); ++y)
                m_rowEdges[static_cast<std::size_t>(y - top)].push_back(a.x);
        }
    };
    addEdges(shape.outline);
    for (const Contour& hole : shape.holes)
        addEdges(hole);

    OutlineTracer tracer;
    auto takeParts = [&tracer, &parts] {
        Shape part;
        while (tracer.takeShape(part))
            parts.push_back(std::move(part));
    };
    auto cut = std::lower_bound(lines.begin(), lines.end(), top + 1);
    for (int y = top; y < bottom; ++y) {
        if (cut != lines.end() && *cut == y) {
            tracer.finish();
            takeParts();
            tracer = OutlineTracer();
            ++cut;
        }
        std::vector<int>& xs = m_rowEdges[static_cast<std::size_t>(y - top)];
        std::sort(xs.begin(), xs.end());
        m_runs.clear();
        for (std::size_t i = 0; i + 1 < xs.size(); i += 2)
            m_runs.push_back(Run{xs[i], xs[i + 1]});
        tracer.addRow(y, m_runs);
        takeParts();
    }
    tracer.finish();
    takeParts();
}

} // namespace kelviq
