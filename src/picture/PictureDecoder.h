#pragma once

#include "picture/FormatCheck.h"
#include "picture/PictureDensity.h"
#include "trace/PixelRows.h"

#include <QString>

namespace kelviq {

// A picture file's decoder: reads the file once from its start and hands out the pixels as the
// file stores them, a row (or, in interlaced files, a pass's share of a row) at a time, in
// little memory. Every use of a picture - rows streamed into the tracer, a picture held whole
// for the window, a check that only reads - takes the same decoding, so they agree pixel for
// pixel. A file that is cut short, damaged or claims what it cannot hold ends the decoding with
// its reason; nothing is invented for the missing part.
class PictureDecoder
{
public:
    using Layout = PixelRows::Layout;
    using Palette = PixelRows::Palette;

    // How a span's pixels are stored.
    enum class Form
    {
        Bits,  // a bit a pixel from the top bit, palette indices (whole rows only)
        Bytes, // a palette index a pixel
        Words  // an RgbWord a pixel, shown over white
    };

    // Pixels of row y: count pixels at columns x, x + step, x + 2 * step ... Valid until the
    // next call of next().
    struct Span
    {
        int y = 0;
        int x = 0;
        int step = 1;
        int count = 0;
        Form form = Form::Bytes;
        const unsigned char* pixels = nullptr;
    };

    PictureDecoder() = default;
    virtual ~PictureDecoder() = default;
    PictureDecoder(const PictureDecoder&) = delete;
    PictureDecoder& operator=(const PictureDecoder&) = delete;

    // Reads the headers, up to the first pixel. False, with problem(), when they cannot be used.
    virtual bool start() = 0;
    // The next span; false after the last one (then finish()) or on a fault (problem()).
    virtual bool next(Span& span) = 0;
    // Reads what the format puts after the pixels (checksums, the end marker).
    virtual bool finish() { return true; }
    // Memory the decoder itself takes while it decodes, beyond a row or two, in bytes.
    virtual qint64 ownMemory() const { return 0; }
    // The bytes a file must hold to be whole, where that alone tells (raw netpbm files, whose
    // every byte is a value); -1 where only decoding the file can tell.
    virtual qint64 wholeFileBytes() const { return -1; }

    // Known once start() succeeded.
    int width() const { return m_width; }
    int height() const { return m_height; }
    Layout layout() const { return m_layout; }
    const Palette& palette() const { return m_palette; }
    // Whether whole rows come top to bottom, each once; otherwise rows come in another order
    // or in parts, and a picture must be held to be read from the top.
    bool topDown() const { return m_topDown; }
    // Whether spans cover every pixel of the picture; where they do not, the pixels show
    // fill(), an index (Bits and Indexed layouts) or a pixel word (Rgb).
    virtual bool coversPicture() const { return true; }
    quint32 fill() const { return m_fill; }
    // The orientation the file's EXIF data states, 1 (as stored) to 8.
    int orientation() const { return m_orientation; }
    // The dots per inch the file states, across and down its stored rows.
    PictureDensity density() const { return m_density; }
    // What the headers claim: sizes, and how much file such a picture takes.
    const FormatCheck::Claim& claim() const { return m_claim; }
    // The size of the part the file codes, when it is not the whole picture (a GIF frame).
    qint64 codedWidth() const { return m_codedWidth; }
    qint64 codedHeight() const { return m_codedHeight; }

    // Why the decoding stopped, in words a user understands; empty while all went well.
    QString problem() const { return m_problem; }
    // The decoder's library ran out of memory (problem() then says so too).
    bool outOfMemory() const { return m_outOfMemory; }

    // The palette index of pixel i of a span of indices (Bits or Bytes).
    static int indexAt(const Span& span, int i)
    {
        if (span.form == Form::Bits)
            return (span.pixels[i >> 3] >> (7 - (i & 7))) & 1;
        return span.pixels[i];
    }
    // The colour of pixel i of a span.
    ColorValue colorAt(const Span& span, int i) const;

protected:
    bool fail(const QString& problem)
    {
        if (m_problem.isEmpty())
            m_problem = problem;
        return false;
    }
    bool failOutOfMemory()
    {
        m_outOfMemory = true;
        return fail(QStringLiteral("not enough memory to decode it"));
    }

    int m_width = 0;
    int m_height = 0;
    Layout m_layout = Layout::Empty;
    Palette m_palette{}; // undefined entries read as black
    bool m_topDown = true;
    quint32 m_fill = 0;
    int m_orientation = 1;
    PictureDensity m_density;
    FormatCheck::Claim m_claim;
    qint64 m_codedWidth = 0;
    qint64 m_codedHeight = 0;

private:
    QString m_problem;
    bool m_outOfMemory = false;
};

} // namespace kelviq
