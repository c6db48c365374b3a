#include "trace/Tracer.h"

namespace kelviq {

Tracer::Tracer(Raster raster, const TraceSettings& settings)
    : m_raster(std::move(raster)), m_finder(m_raster, settings)
{
    if (settings.despeckle > 1)
        m_specks.emplace(settings.despeckle);
}

bool Tracer::readRow(std::vector<Run>& runs)
{
    if (m_stopped || m_nextRow >= m_raster.height())
        return false;
    if (m_onRowRead && !m_onRowRead(m_nextRow)) {
        m_stopped = true;
        return false;
    }
    m_finder.findRuns(m_nextRow++, runs);
    return true;
}

bool Tracer::nextRow(int& y, std::vector<Run>& runs)
{
    if (!m_specks) {
        y = m_nextRow;
        return readRow(runs);
    }
    // Rows go in until the oldest waiting one is settled; once every row is in, the filter
    // hands out the rest by itself.
    while (!m_specks->takeRow(y, runs)) {
        const int row = m_nextRow;
        if (!readRow(m_read))
            return false;
        m_specks->addRow(row, m_read);
        if (m_nextRow == m_raster.height())
            m_specks->finish();
    }
    return true;
}

} // namespace kelviq
