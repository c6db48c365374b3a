#pragma once

#include "picture/PictureDecoder.h"

#include <QImage>

namespace kelviq {

class ColorClasses;

// A decoder's picture held whole, turned as its orientation says: the window's picture (and
// the converter's, when the rows do not come top to bottom), in its own compact form - a bit,
// a byte or four bytes a pixel as the decoder's layout is - or, given colour classes, a colour
// picture as a byte a pixel of classes.
class PictureBuilder
{
public:
    struct Result
    {
        QImage image; // Format_Mono, Format_Indexed8 or Format_RGB32; null on a fault
        PixelRows::Layout layout = PixelRows::Layout::Empty;
        PixelRows::Palette palette{};
        QString problem;
        bool outOfMemory = false;
    };

    // Reads every span from a started decoder, and what follows them.
    static Result build(PictureDecoder& decoder, int orientation, ColorClasses* classes);
};

} // namespace kelviq
