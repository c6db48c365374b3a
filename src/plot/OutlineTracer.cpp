#include "plot/OutlineTracer.h"

#include <algorithm>
#include <cassert>
#include <climits>
#include <utility>

namespace kelviq {

namespace {

// Topmost first, then leftmost.
constexpr auto isBefore = [](const Corner& a, const Corner& b) {
    return a.y != b.y ? a.y < b.y : a.x < b.x;
};

// A path that grew beyond this many corners gives its memory back when it is done, so that
// one long contour does not hold it for the rest of the picture.
constexpr std::size_t KeptCapacity = 4096;

template <typename T> void clearKeepingLittle(std::vector<T>& v)
{
    if (v.capacity() > KeptCapacity)
        std::vector<T>().swap(v);
    else
        v.clear();
}

constexpr int NoEvent = INT_MIN;

} // namespace

void OutlineTracer::addRow(int y, const std::vector<Run>& runs)
{
    if (m_started && y <= m_row)
        y = m_row + 1; // out of order: taken as the next row, so the contours stay whole
    // Rows left out are empty: whatever is open above ends at the first of them.
    if (m_started && y > m_row + 1 && !m_edges.empty()) {
        m_below.clear();
        scanLine(m_row + 1);
    }
    // Run boundaries strictly left to right: touching or overlapping runs become one.
    m_below.clear();
    for (const Run& run : runs) {
        if (run.end <= run.begin)
            continue;
        if (!m_below.empty() && run.begin <= m_below.back())
            m_below.back() = std::max(m_below.back(), run.end);
        else {
            m_below.push_back(run.begin);
            m_below.push_back(run.end);
        }
    }
    scanLine(y);
    m_started = true;
}

void OutlineTracer::finish()
{
    if (!m_started)
        return;
    m_below.clear();
    scanLine(m_row + 1);
}

bool OutlineTracer::takeShape(Shape& shape)
{
    if (m_ready.empty())
        return false;
    shape = std::move(m_ready.front());
    m_ready.pop_front();
    return true;
}

// The grid line y between the row above (m_edges) and row y (m_below). Walking along it from
// the left, every edge of either row where the traced state above and below changes starts or
// ends a horizontal piece of boundary; they pair up in order. An edge of the row above that
// has an edge of this row facing the same way at the same x runs straight on. Where an edge
// ending a run above meets one beginning a run below at the same x (or the other way round),
// the two pixels meet only at that corner: the ending edge is taken first, so it closes the
// piece on its left and the beginning edge opens the next one: each contour turns around its
// own pixel there and the two stay apart.
void OutlineTracer::scanLine(int y)
{
    m_lineY = y;
    const std::size_t above = m_edges.size();
    const std::size_t below = m_below.size();
    m_nextEdges.resize(below);
    for (std::size_t j = 0; j < below; ++j)
        m_nextEdges[j] = Edge{m_below[j], -1, 0};

    // Events: edge i of the row above as i, edge j of this row as -1 - j.
    int pending = NoEvent;
    // The left edge of the last run of this row whose path is known: the run under a hole
    // that closes here, whose contour's path takes the hole to its shape.
    int lastBelowBegin = -1;
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < above || j < below) {
        const bool inAbove = i < above;
        const bool inBelow = j < below;
        const int xa = inAbove ? m_edges[i].x : 0;
        const int xb = inBelow ? m_below[j] : 0;
        if (inAbove && inBelow && xa == xb && i % 2 == j % 2) {
            placeEnd(m_edges[i].path, m_edges[i].end, static_cast<int>(j));
            if (j % 2 == 0)
                lastBelowBegin = static_cast<int>(j);
            ++i;
            ++j;
            continue;
        }
        int event;
        if (!inBelow || (inAbove && (xa < xb || (xa == xb && i % 2 == 1))))
            event = static_cast<int>(i++);
        else
            event = -1 - static_cast<int>(j++);
        if (pending == NoEvent) {
            pending = event;
            continue;
        }
        joinEnds(y, pending, event, lastBelowBegin);
        pending = NoEvent;
    }
    assert(pending == NoEvent); // both rows' edges pair up: every piece has two ends

    // Sorted by first corner through an index: shapes are costly to move around.
    m_order.clear();
    for (std::size_t k = 0; k < m_completed.size(); ++k)
        m_order.push_back(k);
    std::sort(m_order.begin(), m_order.end(), [this](std::size_t a, std::size_t b) {
        return isBefore(m_completed[a].outline.front(), m_completed[b].outline.front());
    });
    for (std::size_t k : m_order)
        m_ready.push_back(std::move(m_completed[k]));
    m_completed.clear();
    std::swap(m_edges, m_nextEdges);
    m_row = y;
}

// A horizontal piece of boundary on line y between two events (left < right, as encoded in
// scanLine()).
void OutlineTracer::joinEnds(int y, int left, int right, int& lastBelowBegin)
{
    if (left >= 0 && right >= 0) {
        // Two paths from above meet: joined into one, or closed.
        const Edge l = m_edges[static_cast<std::size_t>(left)];
        const Edge r = m_edges[static_cast<std::size_t>(right)];
        addCorner(l.path, l.end, Corner{l.x, y});
        addCorner(r.path, r.end, Corner{r.x, y});
        if (l.path != r.path) {
            merge(l.path, l.end, r.path, r.end);
            return;
        }
        // Traced pixels above the closing edge: the bottom of an outline. Otherwise the
        // bottom of a hole, with a run of this row under it.
        const bool outline = left % 2 == 0;
        assert(outline || lastBelowBegin >= 0);
        close(l.path, outline,
              outline ? -1 : m_nextEdges[static_cast<std::size_t>(lastBelowBegin)].path);
        return;
    }
    if (left < 0 && right < 0) {
        // The top of a run, or of a gap under a run: a new path going down at both ends.
        const int jl = -1 - left;
        const int jr = -1 - right;
        const int path = newPath();
        m_paths[static_cast<std::size_t>(path)].tail = {Corner{m_below[jl], y},
                                                        Corner{m_below[jr], y}};
        placeEnd(path, 0, jl);
        placeEnd(path, 1, jr);
        if (jl % 2 == 0)
            lastBelowBegin = jl;
        if (jr % 2 == 0)
            lastBelowBegin = jr;
        return;
    }
    // A path from above turns along the line and goes on down at an edge of this row.
    const int ia = left >= 0 ? left : right;
    const int jb = -1 - (left >= 0 ? right : left);
    const Edge a = m_edges[static_cast<std::size_t>(ia)];
    addCorner(a.path, a.end, Corner{a.x, y});
    addCorner(a.path, a.end, Corner{m_below[static_cast<std::size_t>(jb)], y});
    placeEnd(a.path, a.end, jb);
    if (jb % 2 == 0)
        lastBelowBegin = jb;
}

// Joins end hostEnd of one path to end guestEnd of another; the longer one takes the other's
// corners, so every corner moves O(log n) times at most.
void OutlineTracer::merge(int host, int hostEnd, int guest, int guestEnd)
{
    if (size(m_paths[static_cast<std::size_t>(guest)]) >
        size(m_paths[static_cast<std::size_t>(host)])) {
        std::swap(host, guest);
        std::swap(hostEnd, guestEnd);
    }
    Path& h = m_paths[static_cast<std::size_t>(host)];
    Path& g = m_paths[static_cast<std::size_t>(guest)];
    // The guest's corners from the joined end on, onto the host's joined end.
    std::vector<Corner>& to = hostEnd == 0 ? h.head : h.tail;
    if (guestEnd == 0) {
        to.insert(to.end(), g.head.rbegin(), g.head.rend());
        to.insert(to.end(), g.tail.begin(), g.tail.end());
    } else {
        to.insert(to.end(), g.tail.rbegin(), g.tail.rend());
        to.insert(to.end(), g.head.begin(), g.head.end());
    }
    // The guest's other end is now the host's.
    const int other = 1 - guestEnd;
    Edge& edge = edgeAt(g.slotRow[other], g.slot[other]);
    edge.path = host;
    edge.end = hostEnd;
    h.slot[hostEnd] = g.slot[other];
    h.slotRow[hostEnd] = g.slotRow[other];
    if (h.holes.size() < g.holes.size())
        std::swap(h.holes, g.holes);
    for (Contour& hole : g.holes)
        h.holes.push_back(std::move(hole));
    freePath(guest);
}

// The path's two ends met: a closed contour. An outline completes its shape; a hole goes to
// the path of the holder, an open contour of the same shape.
void OutlineTracer::close(int path, bool outline, int holder)
{
    Path& p = m_paths[static_cast<std::size_t>(path)];
    Contour contour;
    contour.reserve(size(p));
    // The closing edge, from the last corner to the first, is the bottom of the contour: it
    // runs rightwards under an outline and leftwards over the pixels under a hole.
    const Corner front = p.head.empty() ? p.tail.front() : p.head.back();
    const Corner back = p.tail.empty() ? p.head.front() : p.tail.back();
    if ((back.x < front.x) == outline) {
        contour.insert(contour.end(), p.head.rbegin(), p.head.rend());
        contour.insert(contour.end(), p.tail.begin(), p.tail.end());
    } else {
        contour.insert(contour.end(), p.tail.rbegin(), p.tail.rend());
        contour.insert(contour.end(), p.head.begin(), p.head.end());
    }
    std::rotate(contour.begin(), std::min_element(contour.begin(), contour.end(), isBefore),
                contour.end());

    if (outline) {
        Shape shape{std::move(contour), std::move(p.holes)};
        std::sort(shape.holes.begin(), shape.holes.end(), [](const Contour& a, const Contour& b) {
            return isBefore(a.front(), b.front());
        });
        m_completed.push_back(std::move(shape));
    } else {
        Path& h = m_paths[static_cast<std::size_t>(holder)];
        if (h.holes.size() < p.holes.size())
            std::swap(h.holes, p.holes);
        for (Contour& hole : p.holes)
            h.holes.push_back(std::move(hole));
        h.holes.push_back(std::move(contour));
    }
    freePath(path);
}

void OutlineTracer::addCorner(int path, int end, Corner corner)
{
    Path& p = m_paths[static_cast<std::size_t>(path)];
    (end == 0 ? p.head : p.tail).push_back(corner);
}

int OutlineTracer::newPath()
{
    if (!m_freePaths.empty()) {
        const int path = m_freePaths.back();
        m_freePaths.pop_back();
        return path;
    }
    m_paths.emplace_back();
    return static_cast<int>(m_paths.size() - 1);
}

void OutlineTracer::freePath(int path)
{
    Path& p = m_paths[static_cast<std::size_t>(path)];
    clearKeepingLittle(p.head);
    clearKeepingLittle(p.tail);
    p.holes.clear();
    m_freePaths.push_back(path);
}

// The path's end goes on down at edge `slot` of the row being added.
void OutlineTracer::placeEnd(int path, int end, int slot)
{
    Edge& edge = m_nextEdges[static_cast<std::size_t>(slot)];
    edge.path = path;
    edge.end = end;
    Path& p = m_paths[static_cast<std::size_t>(path)];
    p.slot[end] = slot;
    p.slotRow[end] = m_lineY;
}

OutlineTracer::Edge& OutlineTracer::edgeAt(int row, int slot)
{
    return row == m_lineY ? m_nextEdges[static_cast<std::size_t>(slot)]
                          : m_edges[static_cast<std::size_t>(slot)];
}

} // namespace kelviq
