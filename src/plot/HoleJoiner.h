#pragma once

#include "plot/Contour.h"
#include "plot/Shape.h"
#include "plot/ShapeCutter.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

namespace kelviq {

// Turns a shape into polygons without holes whose union is exactly the shape, for formats
// whose polygons cannot hold holes (KiCad's) or that join holes by cut-ins (Gerber regions).
//
// Bridges: each hole is joined by a bridge from its first corner (its topmost, leftmost one)
// straight left along the grid line to the nearest edge, which is the outline's or that of a
// hole joined before it. A bridge runs only between traced pixels, so it never crosses an
// edge or another bridge. The polygon goes out along the bridge, once round the hole and back
// along the bridge: both directions are the same segment, with the bridge's two ends as
// corners of both (even where an edge goes straight on there), as Gerber's cut-ins must be.
//
// Touch points: where the outline or a hole of a shape passes a point twice (two of its pixels
// meet only at that corner), one polygon would touch itself there. Such a shape is first cut
// along the whole grid line through each such point, between its own pixels only, and each
// part becomes a polygon of its own (with its holes bridged); neighbouring parts share the cut
// edges. So no polygon touches itself except along its bridges.
//
// Polygons run as outlines do (the pixels on their left) and start at their topmost, leftmost
// corner; the parts of a cut shape come from the top down.
class HoleJoiner
{
public:
    // Appends the polygons of a shape made by OutlineTracer.
    void join(const Shape& shape, std::vector<Contour>& polygons);

private:
    // A vertical edge of one of the shape's contours: contour 0 is the outline, i the hole i-1.
    struct VerticalEdge
    {
        int x;
        int top;
        int bottom;
        int contour;
        int index; // from corner `index` to the next
    };
    // Where a hole's bridge ends: on edge `edge` of `contour`, `distance` from its start.
    struct Attachment
    {
        int contour;
        int edge;
        int distance;
        int hole;
        Corner at;
    };

    bool findTouchLines(const Shape& shape);
    void bridge(const Shape& shape, std::vector<Contour>& polygons);

    std::vector<std::uint64_t> m_sorted; // corners as y << 32 | x
    std::vector<int> m_touchLines;
    ShapeCutter m_cutter;
    std::vector<Shape> m_parts;
    std::vector<VerticalEdge> m_edges;
    std::vector<int> m_holeOrder;
    std::multimap<int, std::size_t> m_active;
    std::vector<Attachment> m_attachments;
    std::vector<std::size_t> m_firstAttachment;
};

} // namespace kelviq
