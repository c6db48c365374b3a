#pragma once

#include <QString>

namespace kelviq {

class PictureStream;

// Reads a PNG file through libpng with its strict checks, row by row in constant memory:
// every chunk's checksum, the compressed data to its last byte and the file to its end chunk.
// Qt's reader patches over some of these faults; a file that passes here is whole. Warnings
// (an incorrect colour profile, unknown chunks) are harmless and pass.
class PngCheck
{
public:
    // The reason the file cannot be used, in words a user understands, or empty. Reads the
    // input up to the end chunk.
    static QString problem(PictureStream& input);
};

} // namespace kelviq
