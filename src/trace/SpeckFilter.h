#pragma once

#include "trace/RunFinder.h"

#include <deque>
#include <vector>

namespace kelviq {

// Drops groups of selected pixels that touch by an edge or a corner and hold fewer than a
// given number of pixels. Works on runs, row after row: a row is handed on as soon as every
// one of its runs is known to belong to a group that is large enough (kept) or that can grow
// no more (dropped if small). A small group spans fewer rows than its size, so rows wait at
// most that many rows and memory stays bounded however large the picture is.
class SpeckFilter
{
public:
    explicit SpeckFilter(int smallestKept);

    // Row y's selected runs, rows in order from the top.
    void addRow(int y, const std::vector<Run>& runs);
    // No more rows: every group is complete.
    void finish();
    // The oldest row whose fate is settled, with the runs that stay; false when none is ready.
    bool takeRow(int& y, std::vector<Run>& runs);

private:
    struct Group
    {
        qint64 parent; // node id; a root points to itself
        qint64 pixels;
        int lastRow;
    };
    struct PendingRow
    {
        int y;
        qint64 firstNode;
        std::vector<Run> runs;
    };

    Group& node(qint64 id) { return m_nodes[static_cast<std::size_t>(id - m_firstNode)]; }
    qint64 find(qint64 id);
    void unite(qint64 a, qint64 b);
    void dropSettledNodes();

    qint64 m_smallestKept;
    // Union-find over runs; a root is always the newest node of its group, so links point to
    // newer nodes and the oldest nodes can be forgotten once no waiting row needs them.
    std::deque<Group> m_nodes;
    qint64 m_firstNode = 0;
    qint64 m_nextNode = 0;
    std::deque<PendingRow> m_pending;
    // The last row added: the next row's runs join its groups.
    std::vector<Run> m_previousRuns;
    qint64 m_previousFirstNode = 0;
    int m_lastRow = -1;
    bool m_finished = false;
};

} // namespace kelviq
