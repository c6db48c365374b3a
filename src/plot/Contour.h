#pragma once

#include <vector>

namespace kelviq {

// A pixel corner: column boundary x (0 .. width) and row boundary y (0 .. height, 0 at the
// top). Pixel (column c, row r) is the square from (c, r) to (c + 1, r + 1). On a plot of a
// picture H rows high with pixels S mils wide, corner (x, y) lies at X = x * S and
// Y = (H - 1 - y) * S + S / 2: row r's line Y plus half a pixel for its top edge.
struct Corner
{
    int x;
    int y;
    friend bool operator==(const Corner&, const Corner&) = default;
};

// A closed boundary: the last corner joins the first again.
using Contour = std::vector<Corner>;

} // namespace kelviq
