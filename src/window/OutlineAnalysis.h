#pragma once

#include "plot/PlotStyle.h"
#include "trace/Raster.h"
#include "window/WorkerThread.h"

#include <QObject>
#include <atomic>
#include <memory>

namespace kelviq {

class TraceAnalysis;

// Works out in the background the filled outlines the exports write: the traced pixels' rows
// go through the outline code of an outline plot (ShapeStream), each shape is filled into a
// 1-bit picture as seen on the board side (ShapeRaster), and the shapes and their vertices
// are counted as the run counts them.
class OutlineAnalysis : public QObject
{
    Q_OBJECT

public:
    explicit OutlineAnalysis(QObject* parent = nullptr);
    ~OutlineAnalysis() override;

    // The outlines of trace's latest complete traced pixels on this side: started unless they
    // are ready or being worked out already; dropped while the trace is not complete.
    void follow(const TraceAnalysis& trace, BoardSide side);
    // Drops what is worked out or being worked out: the traced pixels are changing.
    void clear();

    // True once the outlines asked for last are complete.
    bool ready() const { return m_ready; }
    qint64 shapes() const { return m_shapes; }
    qint64 vertices() const { return m_vertices; }
    // The filled shapes as a 1-bit raster, black where filled, mirrored on the bottom side;
    // null when none is complete or it found no memory.
    const Raster& filled() const { return m_filled; }
    BoardSide side() const { return m_side; }

signals:
    void finished();

private:
    void work(Raster traced, BoardSide side, quint64 generation,
              std::shared_ptr<std::atomic<bool>> cancelled);

    WorkerThread m_worker;
    quint64 m_generation = 0;
    // Which trace, and which side, the outlines worked out last are of; 0: none.
    quint64 m_trace = 0;
    BoardSide m_side = BoardSide::Top;
    bool m_ready = false;
    qint64 m_shapes = 0;
    qint64 m_vertices = 0;
    Raster m_filled;
};

} // namespace kelviq
