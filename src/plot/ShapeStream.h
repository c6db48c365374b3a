#pragma once

#include "plot/OutlineTracer.h"
#include "plot/Shape.h"
#include "trace/Run.h"

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace kelviq {

// Turns traced rows into filled shapes the way an outline plot is made: each row's runs go to
// an OutlineTracer and every shape is handed on as soon as it is complete, so only the open
// ones are held. Counts what an outline plot reports: the shapes, and the corners of their
// outlines and holes.
class ShapeStream
{
public:
    explicit ShapeStream(std::function<void(const Shape&)> take) : m_take(std::move(take)) {}

    // Row y's runs, rows from the top down.
    void addRow(int y, const std::vector<Run>& runs)
    {
        m_tracer.addRow(y, runs);
        handOn();
    }
    // No more rows: the shapes still open are complete.
    void finish()
    {
        m_tracer.finish();
        handOn();
    }

    std::int64_t shapes() const { return m_shapes; }
    std::int64_t vertices() const { return m_vertices; }

private:
    void handOn()
    {
        while (m_tracer.takeShape(m_shape)) {
            ++m_shapes;
            m_vertices += static_cast<std::int64_t>(m_shape.outline.size());
            for (const Contour& hole : m_shape.holes)
                m_vertices += static_cast<std::int64_t>(hole.size());
            m_take(m_shape);
        }
    }

    OutlineTracer m_tracer;
    Shape m_shape;
    std::function<void(const Shape&)> m_take;
    std::int64_t m_shapes = 0;
    std::int64_t m_vertices = 0;
};

} // namespace kelviq
