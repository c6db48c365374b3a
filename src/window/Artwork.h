#pragma once

#include <QImage>

class QPainter;

namespace kelviq {

// The program's own pictures, drawn in code so no image files need to ship.
class Artwork
{
public:
    // Window icon, size × size pixels: a picture traced into thick horizontal strokes. At 32
    // and its multiples the strokes sit on whole pixels.
    static QImage icon(int size = 32);
    // Draws the icon into the square (0, 0, 32, 32) of the painter's coordinates, so one
    // drawing serves every bitmap size and the scalable icon.
    static void paintIcon(QPainter& painter, bool crisp);
    // 65 × 70 busy pictures, two frames of an hourglass: sand above (0) and below (1).
    static QImage busyPicture(int frame);
};

} // namespace kelviq
