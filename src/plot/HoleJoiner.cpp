#include "plot/HoleJoiner.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdlib>

namespace kelviq {

namespace {

// Topmost first, then leftmost.
constexpr auto isBefore = [](const Corner& a, const Corner& b) {
    return a.y != b.y ? a.y < b.y : a.x < b.x;
};

} // namespace

void HoleJoiner::join(const Shape& shape, std::vector<Contour>& polygons)
{
    if (!findTouchLines(shape)) {
        bridge(shape, polygons);
        return;
    }
    // Cut along the touch lines, the parts have no touch points; their holes are bridged.
    m_parts.clear();
    m_cutter.cut(shape, m_touchLines, m_parts);
    for (const Shape& part : m_parts)
        bridge(part, polygons);
}

// The grid lines through the points a contour of the shape passes twice. Outline and holes
// of one shape never meet, so those are the only points where the shape touches itself.
bool HoleJoiner::findTouchLines(const Shape& shape)
{
    m_touchLines.clear();
    auto scan = [this](const Contour& contour) {
        m_sorted.clear();
        for (const Corner& c : contour)
            m_sorted.push_back(std::uint64_t(std::uint32_t(c.y)) << 32 | std::uint32_t(c.x));
        std::sort(m_sorted.begin(), m_sorted.end());
        for (std::size_t i = 1; i < m_sorted.size(); ++i)
            if (m_sorted[i] == m_sorted[i - 1])
                m_touchLines.push_back(static_cast<int>(m_sorted[i] >> 32));
    };
    scan(shape.outline);
    for (const Contour& hole : shape.holes)
        scan(hole);
    std::sort(m_touchLines.begin(), m_touchLines.end());
    m_touchLines.erase(std::unique(m_touchLines.begin(), m_touchLines.end()), m_touchLines.end());
    return !m_touchLines.empty();
}

// Joins the holes of a shape without touch points to its outline: one polygon.
void HoleJoiner::bridge(const Shape& shape, std::vector<Contour>& polygons)
{
    if (shape.holes.empty()) {
        polygons.push_back(shape.outline);
        return;
    }
    const int contours = static_cast<int>(shape.holes.size()) + 1;
    auto contour = [&shape](int c) -> const Contour& {
        return c == 0 ? shape.outline : shape.holes[static_cast<std::size_t>(c - 1)];
    };

    m_edges.clear();
    for (int c = 0; c < contours; ++c) {
        const Contour& k = contour(c);
        for (std::size_t i = 0; i < k.size(); ++i) {
            const Corner a = k[i];
            const Corner b = k[(i + 1) % k.size()];
            if (a.x == b.x)
                m_edges.push_back(VerticalEdge{a.x, std::min(a.y, b.y), std::max(a.y, b.y), c,
                                               static_cast<int>(i)});
        }
    }
    std::sort(m_edges.begin(), m_edges.end(),
              [](const VerticalEdge& a, const VerticalEdge& b) { return a.top < b.top; });
    m_holeOrder.resize(shape.holes.size());
    for (int h = 1; h < contours; ++h)
        m_holeOrder[static_cast<std::size_t>(h - 1)] = h;
    std::sort(m_holeOrder.begin(), m_holeOrder.end(), [&contour](int a, int b) {
        return isBefore(contour(a).front(), contour(b).front());
    });

    // Holes from the top down, each looking left along its top line for the nearest vertical
    // edge that reaches that line. Edges that end above it are dropped on the way.
    m_attachments.clear();
    m_active.clear();
    std::size_t next = 0;
    for (int h : m_holeOrder) {
        const Corner from = contour(h).front();
        for (; next < m_edges.size() && m_edges[next].top <= from.y; ++next)
            m_active.emplace(m_edges[next].x, next);
        auto it = m_active.lower_bound(from.x);
        const VerticalEdge* edge = nullptr;
        while (it != m_active.begin()) {
            --it;
            if (m_edges[it->second].bottom < from.y) {
                it = m_active.erase(it);
                continue;
            }
            edge = &m_edges[it->second];
            break;
        }
        assert(edge);
        const Contour& k = contour(edge->contour);
        const Corner at{edge->x, from.y};
        int index = edge->index;
        if (at == k[(static_cast<std::size_t>(index) + 1) % k.size()])
            index = (index + 1) % static_cast<int>(k.size());
        m_attachments.push_back(Attachment{
            edge->contour, index, std::abs(at.y - k[static_cast<std::size_t>(index)].y), h, at});
    }
    std::sort(m_attachments.begin(), m_attachments.end(),
              [](const Attachment& a, const Attachment& b) {
                  if (a.contour != b.contour)
                      return a.contour < b.contour;
                  return a.edge != b.edge ? a.edge < b.edge : a.distance < b.distance;
              });
    m_firstAttachment.assign(static_cast<std::size_t>(contours) + 1, 0);
    for (const Attachment& a : m_attachments)
        ++m_firstAttachment[static_cast<std::size_t>(a.contour) + 1];
    for (std::size_t c = 1; c < m_firstAttachment.size(); ++c)
        m_firstAttachment[c] += m_firstAttachment[c - 1];

    // Round the outline; at each bridge, out, round the hole (and whatever hangs on it) and
    // back. A stack rather than recursion: holes can hang on holes many deep.
    struct Visit
    {
        int contour;
        std::size_t edge;
        std::size_t attachment;
        Corner bridgeEnd;
    };
    Contour polygon;
    polygon.push_back(shape.outline.front());
    std::vector<Visit> visits{Visit{0, 0, m_firstAttachment[0], Corner{0, 0}}};
    while (!visits.empty()) {
        Visit& v = visits.back();
        const Contour& k = contour(v.contour);
        if (v.attachment < m_firstAttachment[static_cast<std::size_t>(v.contour) + 1] &&
            m_attachments[v.attachment].edge == static_cast<int>(v.edge)) {
            const Attachment& a = m_attachments[v.attachment++];
            if (!(polygon.back() == a.at))
                polygon.push_back(a.at);
            polygon.push_back(contour(a.hole).front());
            const Visit hole{a.hole, 0, m_firstAttachment[static_cast<std::size_t>(a.hole)], a.at};
            visits.push_back(hole);
            continue;
        }
        if (v.edge + 1 < k.size()) {
            polygon.push_back(k[++v.edge]);
            continue;
        }
        const Corner back = v.bridgeEnd;
        visits.pop_back();
        if (!visits.empty()) {
            polygon.push_back(k.front());
            polygon.push_back(back);
        }
    }
    polygons.push_back(std::move(polygon));
}

} // namespace kelviq
