#pragma once

#include <QImage>

namespace kelviq {

// The program's own pictures, drawn in code so no image files need to ship.
class Artwork
{
public:
    // 32 × 32 window icon: a picture traced into thick horizontal strokes.
    static QImage icon();
    // 65 × 70 busy pictures, two frames of an hourglass: sand above (0) and below (1).
    static QImage busyPicture(int frame);
};

} // namespace kelviq
