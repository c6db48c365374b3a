#pragma once

#include "trace/Raster.h"
#include "trace/RunFinder.h"
#include "trace/SpeckFilter.h"
#include "trace/TraceSettings.h"

#include <functional>
#include <optional>
#include <vector>

namespace kelviq {

// The runs that are traced, row by row from the top: the pixels the settings select, with
// specks removed. Everything that shows or writes what will be traced reads it from here.
class Tracer
{
public:
    Tracer(Raster raster, const TraceSettings& settings);
    Tracer(const Tracer&) = delete;
    Tracer& operator=(const Tracer&) = delete;

    // Called with each picture row's number before the row is read (progress, events);
    // returning false stops the tracing there.
    void setRowReadHandler(std::function<bool(int y)> handler) { m_onRowRead = std::move(handler); }

    // The next row, in order from the top, with its traced runs. False when every row has been
    // given or the handler stopped the tracing.
    bool nextRow(int& y, std::vector<Run>& runs);

    const Raster& raster() const { return m_raster; }

private:
    bool readRow(std::vector<Run>& runs);

    Raster m_raster;
    RunFinder m_finder;
    std::optional<SpeckFilter> m_specks;
    std::function<bool(int)> m_onRowRead;
    std::vector<Run> m_read;
    int m_nextRow = 0;
    bool m_stopped = false;
};

} // namespace kelviq
