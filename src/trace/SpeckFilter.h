#pragma once

#include "trace/Run.h"

#include <cstdint>
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
        std::int64_t parent; // node id; a root points to itself
        std::int64_t pixels;
        int lastRow;
    };
    struct PendingRow
    {
        int y;
        std::int64_t firstNode;
        std::vector<Run> runs;
    };

    Group& node(std::int64_t id) { return m_nodes[static_cast<std::size_t>(id - m_firstNode)]; }
    std::int64_t find(std::int64_t id);
    void unite(std::int64_t a, std::int64_t b);
    void dropSettledNodes();

    std::int64_t m_smallestKept;
    // Union-find over runs; a root is always the newest node of its group, so links point to
    // newer nodes and the oldest nodes can be forgotten once no waiting row needs them.
    std::deque<Group> m_nodes;
    std::int64_t m_firstNode = 0;
    std::int64_t m_nextNode = 0;
    std::deque<PendingRow> m_pending;
    // The last row added: the next row's runs join its groups.
    std::vector<Run> m_previousRuns;
    std::int64_t m_previousFirstNode = 0;
    int m_lastRow = -1;
    bool m_finished = false;
};

} // namespace kelviq
