#pragma once

#include <QByteArray>

namespace kelviq {

// The orientation a camera or scanner writes into a picture's EXIF data (TIFF tag 274): how the
// stored rows must be turned or mirrored to show the picture upright, as every viewer does.
// 1 is as stored; 2 to 8 mirror, turn, or both.
class ExifOrientation
{
public:
    // The orientation in EXIF data that starts with its TIFF header ("II*\0" or "MM\0*"), as a
    // PNG's eXIf chunk holds it and a JPEG's APP1 segment after "Exif\0\0"; 1 when it states
    // none, or nothing that makes sense.
    static int fromTiff(const QByteArray& tiff);

    // Whether the picture shows with its sides swapped (turned a quarter).
    static bool swapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }
    // Whether the shown rows are the stored rows, top to bottom (at most mirrored).
    static bool keepsRows(int orientation) { return orientation <= 2 || orientation > 8; }

    // Where the stored pixel (x, y) of a width × height picture is shown.
    static void place(int orientation, int width, int height, int& x, int& y);
    // Where the shown pixel (x, y) is stored: the reverse of place().
    static void stored(int orientation, int width, int height, int& x, int& y);
};

} // namespace kelviq
