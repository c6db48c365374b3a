#pragma once

#include <QString>
#include <functional>

namespace kelviq {

class PictureStream;

// Reads a GIF file through giflib up to the end of its first picture, the one shown and
// traced, line by line in constant memory. Qt's reader shows a cut picture as far as it got;
// a file that passes here holds the whole first picture.
class GifCheck
{
public:
    // sizeProblem tells whether a frame of that size can be handled. Returns the reason the
    // file cannot be used, or empty.
    static QString problem(PictureStream& input,
                           const std::function<QString(qint64, qint64)>& sizeProblem);
};

} // namespace kelviq
