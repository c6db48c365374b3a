#pragma once

#include <vector>

namespace kelviq {

// A pixel corner: column boundary x (0 .. width) and row boundary y (0 .. height, 0 at the
// top). Pixel (column c, row r) is the square from (c, r) to (c + 1, r + 1).
struct Corner
{
    int x;
    int y;
    friend bool operator==(const Corner&, const Corner&) = default;
};

// A closed boundary: the last corner joins the first again.
using Contour = std::vector<Corner>;

} // namespace kelviq
