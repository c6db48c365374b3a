#pragma once

#include "picture/PictureDecoder.h"

#include <memory>

namespace kelviq {

class PictureStream;

// PNG files through libpng with its strict checks: every chunk's checksum, the compressed data
// to its last byte, the file to its end chunk (Qt's reader patches over some of these faults;
// warnings such as an incorrect colour profile are harmless and pass). Rows come top to bottom,
// an interlaced file's pass by pass. Colours are those Qt's reader has always given: 16-bit
// samples rounded to 8 bits, transparency painted over white; palette and grey pictures stay a
// byte or a bit a pixel.
class PngDecoder : public PictureDecoder
{
public:
    explicit PngDecoder(PictureStream& input);
    ~PngDecoder() override;

    bool start() override;
    bool next(Span& span) override;
    bool finish() override;

    struct Library; // libpng's structures and what must survive its jumps

private:
    // The reason after libpng gave up: out of memory, the input ended, or its own words.
    bool libraryFailed();
    void convertRow(int count);

    std::unique_ptr<Library> m_png;
    int m_depth = 0;
    int m_colorType = 0;
    bool m_interlaced = false;
    // tRNS of grey and RGB pictures: the sample values shown transparent, or -1.
    int m_transparent[3] = {-1, -1, -1};
    int m_rowsRead = 0;
    int m_rowsTotal = 0;
};

} // namespace kelviq
