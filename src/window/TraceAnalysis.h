#pragma once

#include "trace/Raster.h"
#include "trace/TraceSettings.h"
#include "window/ToleranceHint.h"
#include "window/WorkerThread.h"

#include <QObject>
#include <atomic>
#include <memory>
#include <optional>

namespace kelviq {

// Traces the picture in the background, with the same code the plot is written from, so the
// window can show what will be traced and count the segments while the user types and picks.
// Keeps a 1-bit mask of the traced pixels (one bit a pixel, black where traced) and the count.
class TraceAnalysis : public QObject
{
    Q_OBJECT

public:
    explicit TraceAnalysis(QObject* parent = nullptr);
    ~TraceAnalysis() override;

    // Starts over on this picture and these settings; a trace in progress is dropped.
    void start(const Raster& picture, const TraceSettings& settings);

    // True once the trace of the latest start() is complete.
    bool ready() const { return m_ready; }
    // Which start() the results are of: a new number for every start.
    quint64 generation() const { return m_generation; }
    qint64 segments() const { return m_segments; }
    // The traced pixels of the latest complete trace: a 1-bit raster, traced pixels black.
    // Null when none is complete or the mask found no memory.
    const Raster& mask() const { return m_mask; }
    // At tolerance 0, a tolerance worth trying, once worked out after the trace.
    const std::optional<ToleranceHint>& hint() const { return m_hint; }

signals:
    void finished();
    void hintFound();

private:
    void trace(Raster picture, TraceSettings settings, quint64 generation,
               std::shared_ptr<std::atomic<bool>> cancelled);

    WorkerThread m_worker;
    quint64 m_generation = 0;
    bool m_ready = false;
    qint64 m_segments = 0;
    Raster m_mask;
    std::optional<ToleranceHint> m_hint;
};

} // namespace kelviq
