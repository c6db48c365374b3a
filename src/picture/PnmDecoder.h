#pragma once

#include "picture/PictureDecoder.h"

#include <QByteArray>
#include <vector>

namespace kelviq {

class PictureStream;

// Netpbm files (PBM, PGM, PPM; as text or raw), row by row: every value must be there and,
// in text files, be a number no larger than the file's largest value (Qt's reader takes a cut
// or garbled file for a whole one). Values are scaled to 8 bits rounding to the nearest,
// value × 255 / largest value, as PNG and every viewer do; 16-bit samples too.
class PnmDecoder : public PictureDecoder
{
public:
    explicit PnmDecoder(PictureStream& input);

    // The claim of the header at the start of head.
    static FormatCheck::Claim claim(const QByteArray& head);

    bool start() override;
    bool next(Span& span) override;
    bool finish() override;
    qint64 wholeFileBytes() const override { return m_wholeFileBytes; }

private:
    bool readRawRow();
    bool readTextRow();
    // The next number of a text file, at most maxDigits long; false at a fault.
    bool textNumber(int maxDigits, int& value);
    // The next byte of the input; -1 at its end.
    int peekByte();

    PictureStream& m_input;
    char m_kind = 0; // '1' to '6'
    int m_maxValue = 1;
    int m_nextRow = 0;
    qint64 m_wholeFileBytes = -1;
    std::vector<uchar> m_raw;
    std::vector<uchar> m_row;
    std::vector<uchar> m_scaled; // 8-bit samples at their scale, for raw files
    // Text files are read through this buffer.
    QByteArray m_text;
    qsizetype m_textAt = 0;
};

} // namespace kelviq
