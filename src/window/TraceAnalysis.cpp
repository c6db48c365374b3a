#include "window/TraceAnalysis.h"

#include "picture/ImageRows.h"
#include "trace/Tracer.h"

#include <QImage>
#include <cstring>

namespace kelviq {

namespace {

// Sets bits begin .. end-1 of a 1-bit row, first pixel in the top bit.
void setBits(uchar* line, int begin, int end)
{
    if (begin >= end)
        return;
    const int first = begin >> 3;
    const int last = (end - 1) >> 3;
    const auto head = static_cast<uchar>(0xffu >> (begin & 7));
    const auto tail = static_cast<uchar>(0xffu << (7 - ((end - 1) & 7)));
    if (first == last) {
        line[first] |= head & tail;
        return;
    }
    line[first] |= head;
    if (last > first + 1)
        std::memset(line + first + 1, 0xff, static_cast<std::size_t>(last - first - 1));
    line[last] |= tail;
}

} // namespace

TraceAnalysis::TraceAnalysis(QObject* parent) : QObject(parent)
{
}

TraceAnalysis::~TraceAnalysis()
{
    stopWorker();
}

void TraceAnalysis::stopWorker()
{
    if (m_cancelled)
        m_cancelled->store(true);
    // The worker looks at the flag before every row, so this returns within one row's trace.
    if (m_worker.joinable())
        m_worker.join();
}

void TraceAnalysis::start(const Raster& picture, const TraceSettings& settings)
{
    stopWorker();
    ++m_generation;
    m_ready = false;
    m_hint.reset();
    // The view keeps what it shows until the new mask replaces it; nothing else needs the old
    // one, and a new picture's trace should not wait beside the old picture's mask.
    m_mask = Raster();
    m_cancelled = std::make_shared<std::atomic<bool>>(false);
    m_worker =
        std::thread(&TraceAnalysis::trace, this, picture, settings, m_generation, m_cancelled);
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
                setBits(line, run.begin, run.end);
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
