#include "window/OutlineAnalysis.h"

#include "picture/ImageRows.h"
#include "plot/ShapeStream.h"
#include "window/MaskRow.h"
#include "window/ShapeRaster.h"
#include "window/TraceAnalysis.h"

namespace kelviq {

OutlineAnalysis::OutlineAnalysis(QObject* parent) : QObject(parent)
{
}

OutlineAnalysis::~OutlineAnalysis()
{
    m_worker.stop();
}

void OutlineAnalysis::clear()
{
    m_worker.stop();
    ++m_generation;
    m_trace = 0;
    m_ready = false;
    m_filled = Raster();
}

void OutlineAnalysis::follow(const TraceAnalysis& trace, BoardSide side)
{
    if (!trace.ready() || trace.mask().isNull()) {
        clear();
        return;
    }
    if (m_trace == trace.generation() && m_side == side)
        return;
    clear();
    m_trace = trace.generation();
    m_side = side;
    m_worker.start(&OutlineAnalysis::work, this, trace.mask(), side, m_generation);
}

// Runs on the worker thread: touches nothing of this object but the hand-over at the end.
void OutlineAnalysis::work(Raster traced, BoardSide side, quint64 generation,
                           std::shared_ptr<std::atomic<bool>> cancelled)
{
    ShapeRaster raster(traced.width(), traced.height(), side);
    ShapeStream shapes([&raster](const Shape& shape) { raster.add(shape); });
    // The rows as the tracer handed them over: the traced pixels hold exactly their runs.
    std::vector<Run> runs;
    for (int y = 0; y < traced.height(); ++y) {
        if (cancelled->load())
            return;
        MaskRow::runs(traced.row(y), 0, traced.width(), runs);
        shapes.addRow(y, runs);
    }
    shapes.finish();
    const Raster filled = rasterFromImage(raster.finish());
    const qint64 count = shapes.shapes();
    const qint64 vertices = shapes.vertices();
    QMetaObject::invokeMethod(
        this,
        [this, generation, filled, count, vertices] {
            if (generation != m_generation)
                return; // started over meanwhile
            m_filled = filled;
            m_shapes = count;
            m_vertices = vertices;
            m_ready = true;
            emit finished();
        },
        Qt::QueuedConnection);
}

} // namespace kelviq
