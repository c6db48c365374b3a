#include "window/TraceAnalysis.h"

#include "picture/ImageRows.h"
#include "trace/Tracer.h"
#include "window/MaskRow.h"

#include <QImage>

namespace kelviq {

TraceAnalysis::TraceAnalysis(QObject* parent) : QObject(parent)
{
}

TraceAnalysis::~TraceAnalysis()
{
    m_worker.stop();
}

void TraceAnalysis::start(const Raster& picture, const TraceSettings& settings)
{
    m_worker.stop();
    ++m_generation;
    m_ready = false;
    m_hint.reset();
    // The view keeps what it shows until the new mask replaces it; nothing else needs the old
    // one, and a new picture's trace should not wait beside the old picture's mask.
    m_mask = Raster();
    m_worker.start(&TraceAnalysis::trace, this, picture, settings, m_generation);
}

// Runs on the worker thread: touches nothing of this object but the hand-over at the end.
void TraceAnalysis::trace(Raster picture, TraceSettings settings, quint64 generation,
                          std::shared_ptr<std::atomic<bool>> cancelled)
{
    QImage mask(picture.width(), picture.height(), QImage::Format_Mono);
    if (!mask.isNull()) {
        mask.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mask.fill(0);
    }
    Tracer tracer(picture, settings);
    tracer.setRowReadHandler([&cancelled](int) { return !cancelled->load(); });
    std::vector<Run> runs;
    qint64 segments = 0;
    int y = 0;
    while (tracer.nextRow(y, runs)) {
        segments += static_cast<qint64>(runs.size());
        if (!mask.isNull()) {
            uchar* line = mask.scanLine(y);
            for (const Run& run : runs)
                MaskRow::setBits(line, run.begin, run.end);
        }
    }
    if (cancelled->load())
        return;
    const Raster traced = rasterFromImage(mask);
    QMetaObject::invokeMethod(
        this,
        [this, generation, segments, traced] {
            if (generation != m_generation)
                return; // started over meanwhile
            m_mask = traced;
            m_segments = segments;
            m_ready = true;
            emit finished();
        },
        Qt::QueuedConnection);

    // Only the exact colour is traced: would a tolerance take in more?
    if (settings.tolerance != 0)
        return;
    const auto distances = ToleranceHint::distances(picture, settings.target, *cancelled);
    if (!distances)
        return;
    const std::optional<ToleranceHint> hint = ToleranceHint::fromDistances(*distances);
    QMetaObject::invokeMethod(
        this,
        [this, generation, hint] {
            if (generation != m_generation || !hint)
                return;
            m_hint = hint;
            emit hintFound();
        },
        Qt::QueuedConnection);
}

} // namespace kelviq
