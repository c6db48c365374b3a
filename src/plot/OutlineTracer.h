#pragma once

#include "plot/Shape.h"
#include "trace/Run.h"

#include <cstddef>
#include <deque>
#include <vector>

namespace kelviq {

// Builds the exact outlines of the traced pixels from their runs, row by row from the top,
// and hands out each shape as soon as it is complete.
//
// A shape is a group of pixels joined by their edges; pixels that meet only at a corner
// belong to different shapes (unless joined elsewhere). Its holes are the groups of untraced
// pixels it encloses, untraced pixels meeting at a corner counting as one group; a shape
// lying inside a hole is a shape of its own.
//
// Contours, in corner coordinates (Corner):
// - closed, every corner a pixel corner, edges alternately horizontal and vertical: no corner
//   lies on a straight stretch;
// - the outline runs counter-clockwise and holes clockwise as the picture is seen, so the
//   shape's pixels are always on the left of the way a contour runs. With Y growing upwards
//   (the plot's axes) outlines have positive area; a writer that mirrors X reverses that;
// - each contour starts at its topmost corner, the leftmost of those; an outline goes down
//   from there, a hole goes right;
// - where two traced pixels meet only at a corner (diagonal neighbours, the other two pixels
//   untraced), each contour through that point turns around its own pixel, keeping the two
//   apart: the point is passed twice (by one contour or by two), and no contour ever
//   crosses itself or another.
//
// Order: shapes come out as they are completed, which is at the grid line below their lowest
// row (addRow() of the next row, or finish()); shapes completed on the same line, and the
// holes of a shape, by their first corner: topmost first, then leftmost.
//
// Memory holds only the contours still open at the current row and the shapes not yet taken.
class OutlineTracer
{
public:
    // Row y's runs, left to right (runs that touch or overlap are taken as one). Rows come in
    // increasing order; rows not given have no runs.
    void addRow(int y, const std::vector<Run>& runs);
    // No more rows: completes every shape.
    void finish();
    // The next complete shape, in the order above; false when none is ready.
    bool takeShape(Shape& shape);

private:
    // The lower end of a vertical edge in the current row: where an open path goes on down.
    struct Edge
    {
        int x;
        int path;
        int end; // 0: the path's first corner, 1: its last
    };
    // A piece of a contour, open at both ends. Its corners are reversed(head) + tail, so both
    // ends grow cheaply.
    struct Path
    {
        std::vector<Corner> head;
        std::vector<Corner> tail;
        std::vector<Contour> holes; // closed holes of the shape this path belongs to
        int slot[2] = {0, 0};       // where each end's Edge is ...
        int slotRow[2] = {0, 0};    // ... in the edges of this row
    };

    void scanLine(int y);
    void joinEnds(int y, int left, int right, int& lastBelowBegin);
    void merge(int host, int hostEnd, int guest, int guestEnd);
    void close(int path, bool outline, int holder);
    void addCorner(int path, int end, Corner corner);
    int newPath();
    void freePath(int path);
    void placeEnd(int path, int end, int slot);
    Edge& edgeAt(int row, int slot);
    static std::size_t size(const Path& p) { return p.head.size() + p.tail.size(); }

    std::vector<Path> m_paths;
    std::vector<int> m_freePaths;
    std::vector<Edge> m_edges;     // row m_row's vertical edges, left to right
    std::vector<Edge> m_nextEdges; // those of the row being added
    std::vector<int> m_below;      // the added row's run boundaries: begin, end, begin, ...
    int m_row = 0;                 // the last row added
    int m_lineY = 0;               // the grid line being walked: the row being added
    bool m_started = false;
    std::vector<Shape> m_completed; // shapes completed on the current line
    std::vector<std::size_t> m_order;
    std::deque<Shape> m_ready;
};

} // namespace kelviq
