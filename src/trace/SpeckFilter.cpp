#include "trace/SpeckFilter.h"

#include <algorithm>

namespace kelviq {

SpeckFilter::SpeckFilter(int smallestKept) : m_smallestKept(smallestKept)
{
}

std::int64_t SpeckFilter::find(std::int64_t id)
{
    std::int64_t root = id;
    while (node(root).parent != root)
        root = node(root).parent;
    while (id != root) {
        Group& group = node(id);
        id = group.parent;
        group.parent = root;
    }
    return root;
}

void SpeckFilter::unite(std::int64_t a, std::int64_t b)
{
    a = find(a);
    b = find(b);
    if (a == b)
        return;
    const std::int64_t newer = std::max(a, b);
    const std::int64_t older = std::min(a, b);
    Group& root = node(newer);
    Group& joined = node(older);
    joined.parent = newer;
    root.pixels += joined.pixels;
    root.lastRow = std::max(root.lastRow, joined.lastRow);
}

void SpeckFilter::addRow(int y, const std::vector<Run>& runs)
{
    const std::int64_t first = m_nextNode;
    std::size_t touching = 0; // first run of the previous row that may touch the current run
    for (const Run& run : runs) {
        const std::int64_t id = m_nextNode++;
        m_nodes.push_back({id, run.end - run.begin, y});
        // Runs touch, also diagonally, when their columns overlap or meet at a corner.
        while (touching < m_previousRuns.size() && m_previousRuns[touching].end < run.begin)
            ++touching;
        for (std::size_t k = touching;
             k < m_previousRuns.size() && m_previousRuns[k].begin <= run.end; ++k)
            unite(m_previousFirstNode + static_cast<std::int64_t>(k), id);
    }
    m_pending.push_back({y, first, runs});
    m_previousRuns = runs;
    m_previousFirstNode = first;
    m_lastRow = y;
}

void SpeckFilter::finish()
{
    m_finished = true;
}

bool SpeckFilter::takeRow(int& y, std::vector<Run>& runs)
{
    if (m_pending.empty())
        return false;
    PendingRow& row = m_pending.front();
    runs.clear();
    for (std::size_t i = 0; i < row.runs.size(); ++i) {
        const Group& group = node(find(row.firstNode + static_cast<std::int64_t>(i)));
        if (group.pixels >= m_smallestKept) {
            runs.push_back(row.runs[i]);
            continue;
        }
        // A small group can still grow while it has a run in the last row added.
        if (!m_finished && group.lastRow == m_lastRow)
            return false;
    }
    y = row.y;
    m_pending.pop_front();
    dropSettledNodes();
    return true;
}

void SpeckFilter::dropSettledNodes()
{
    // Links point to newer nodes, so nodes older than every waiting row and the last row are
    // reached by no one any more.
    const std::int64_t keepFrom =
        m_pending.empty() ? m_previousFirstNode : m_pending.front().firstNode;
    while (m_firstNode < keepFrom && !m_nodes.empty()) {
        m_nodes.pop_front();
        ++m_firstNode;
    }
}

} // namespace kelviq
