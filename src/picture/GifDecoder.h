#pragma once

#include "picture/PictureDecoder.h"

#include <memory>
#include <vector>

namespace kelviq {

class PictureStream;

// The first picture of a GIF file, the one shown and traced, through giflib, line by line: a
// file cut short or with damaged codes is refused (Qt's reader shows a cut picture as far as
// it got). The picture is the file's whole logical screen; where the first frame does not
// cover it, it is transparent, shown as white, as every viewer shows it. Colours are Qt's:
// the frame's own colour table or else the file's, the transparent colour white, and indices
// beyond the table white too. Later frames are never read.
class GifDecoder : public PictureDecoder
{
public:
    explicit GifDecoder(PictureStream& input);
    ~GifDecoder() override;

    bool start() override;
    bool next(Span& span) override;
    bool finish() override;
    bool coversPicture() const override { return m_covered; }

    struct Library; // giflib's file and the input

private:
    bool libraryFailed(int code);
    bool readLine();
    void composeRow(bool withLine);

    std::unique_ptr<Library> m_gif;
    int m_left = 0;
    int m_top = 0;
    int m_frameWidth = 0;
    int m_frameHeight = 0;
    bool m_interlaced = false;
    bool m_covered = true;
    int m_linesRead = 0;
    int m_nextRow = 0;         // top to bottom: the next row of the picture
    std::vector<uchar> m_line; // one line of the frame, as indices
    std::vector<uchar> m_row;  // one row of the picture
};

} // namespace kelviq
