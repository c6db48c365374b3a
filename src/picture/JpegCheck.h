#pragma once

#include "picture/FormatCheck.h"

#include <QString>
#include <functional>

namespace kelviq {

class PictureStream;

// Reads a JPEG file through libjpeg with every warning taken seriously, row by row: a file
// cut short, corrupt data the decoder would step over, missing markers. Qt's reader fills
// such gaps with grey; a file that passes here is whole. Stops at the first fault, so a
// small file claiming a huge picture is refused after reading what it holds.
class JpegCheck
{
public:
    // sizeProblem is asked about the frame header's claim before anything is decoded.
    // Returns the reason the file cannot be used, or empty. Reads the input up to the end
    // marker.
    static QString problem(PictureStream& input,
                           const std::function<QString(const FormatCheck::Claim&)>& sizeProblem);
};

} // namespace kelviq
