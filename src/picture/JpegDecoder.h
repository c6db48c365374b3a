#pragma once

#include "picture/PictureDecoder.h"

#include <memory>

namespace kelviq {

class PictureStream;

// JPEG files through libjpeg with every warning taken seriously: a file cut short, corrupt
// data the decoder would step over (a bad Huffman code, a missing restart marker), missing
// markers - Qt's reader fills such gaps with grey; a file that decodes here is whole. Colours
// are exactly Qt's (libjpeg's default decoding; CMYK as Qt turns it into RGB), grey pictures
// stay a byte a pixel. Rows come top to bottom, from progressive files too (libjpeg holds their
// coefficients). The EXIF orientation is read from the file's APP1 segment.
class JpegDecoder : public PictureDecoder
{
public:
    enum class Fidelity
    {
        Exact,    // Qt's colours
        CheckOnly // the cheapest decoding that still reads every bit; colours are not Qt's
    };
    explicit JpegDecoder(PictureStream& input, Fidelity fidelity = Fidelity::Exact);
    ~JpegDecoder() override;

    bool start() override;
    bool next(Span& span) override;
    bool finish() override;
    qint64 ownMemory() const override { return m_ownMemory; }

    struct Library; // libjpeg's structures and what must survive its jumps

private:
    bool begin();
    bool libraryFailed();
    QString headerProblem();

    std::unique_ptr<Library> m_jpeg;
    Fidelity m_fidelity;
    bool m_begun = false;
    bool m_cmyk = false;
    qint64 m_ownMemory = 0;
};

} // namespace kelviq
