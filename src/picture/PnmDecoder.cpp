#include "picture/PnmDecoder.h"

#include "picture/PictureStream.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kelviq {

namespace {

// The header of a netpbm file: the numbers after its two-letter magic, blanks and comments
// (from # to the line end) between them.
struct PnmHeader
{
    char kind = 0; // '1' to '6'
    qint64 width = 0;
    qint64 height = 0;
    qint64 maxValue = 1;
    qsizetype dataStart = 0; // raw kinds: after the single blank that ends the header
    QString problem;
    int samples() const { return kind == '3' || kind == '6' ? 3 : 1; }
    bool raw() const { return kind >= '4'; }
    qint64 rowBytes() const
    {
        if (kind == '4')
            return (width + 7) / 8;
        return width * samples() * (maxValue > 255 ? 2 : 1);
    }
};

PnmHeader pnmHeader(const QByteArray& data)
{
    PnmHeader header;
    header.kind = data.size() > 1 ? data[1] : 0;
    qsizetype at = 2;
    const int fields = header.kind == '1' || header.kind == '4' ? 2 : 3;
    qint64 values[3] = {0, 0, 0};
    QByteArray digits[3];
    for (int i = 0; i < fields; ++i) {
        while (at < data.size() && (FormatCheck::isBlank(data[at]) || data[at] == '#')) {
            if (data[at] == '#') {
                while (at < data.size() && data[at] != '\n' && data[at] != '\r')
                    ++at;
            } else {
                ++at;
            }
        }
        if (at >= data.size()) {
            header.problem = FormatCheck::truncated();
            return header;
        }
        if (!std::isdigit(static_cast<unsigned char>(data[at]))) {
            header.problem =
                FormatCheck::damaged(QStringLiteral("its header is not one a netpbm file has"));
            return header;
        }
        while (at < data.size() && std::isdigit(static_cast<unsigned char>(data[at]))) {
            digits[i] += data[at];
            values[i] = std::min<qint64>(values[i] * 10 + (data[at] - '0'), qint64(1) << 40);
            ++at;
        }
        if (at >= data.size()) { // the number may go on
            header.problem = FormatCheck::truncated();
            return header;
        }
    }
    header.width = values[0];
    header.height = values[1];
    header.maxValue = fields == 3 ? values[2] : 1;
    if (header.width <= 0 || header.height <= 0) {
        header.problem = FormatCheck::damaged(
            QStringLiteral("its header gives a size of %1 × %2 "
                           "pixels")
                .arg(QString::fromLatin1(digits[0]), QString::fromLatin1(digits[1])));
    } else if (header.maxValue <= 0 || header.maxValue > 65535) {
        header.problem = FormatCheck::damaged(
            QStringLiteral("its header gives %1 as the largest value, where a netpbm file allows "
                           "1 to 65535")
                .arg(QString::fromLatin1(digits[2])));
    }
    header.dataStart = at + 1;
    return header;
}

// A value of a file whose largest value is max, on the scale of 0 to 255.
int scaled(int value, int max)
{
    return std::min(255, (value * 255 + max / 2) / max);
}

} // namespace

FormatCheck::Claim PnmDecoder::claim(const QByteArray& head)
{
    FormatCheck::Claim claim;
    const PnmHeader header = pnmHeader(head);
    if (!header.problem.isEmpty()) {
        claim.problem = header.problem;
        return claim;
    }
    claim.width = header.width;
    claim.height = header.height;
    if (FormatCheck::beyondReach(claim))
        return claim;
    const qint64 pixels = claim.width * claim.height;
    claim.fileBytes = header.raw() ? header.dataStart + header.rowBytes() * header.height
                                   : pixels * header.samples() * 8 + FormatCheck::Slack;
    return claim;
}

PnmDecoder::PnmDecoder(PictureStream& input) : m_input(input)
{
}

bool PnmDecoder::start()
{
    // Every header fits in this much, with comments before it.
    constexpr qsizetype HeadBytes = 64 * 1024;
    m_input.fillTo(HeadBytes);
    const PnmHeader header = pnmHeader(m_input.kept().left(HeadBytes));
    if (!header.problem.isEmpty())
        return fail(header.problem);
    m_kind = header.kind;
    m_claim = claim(m_input.kept().left(HeadBytes));
    if (FormatCheck::beyondReach(m_claim))
        return true;
    m_width = static_cast<int>(header.width);
    m_height = static_cast<int>(header.height);
    m_codedWidth = m_width;
    m_codedHeight = m_height;
    m_maxValue = static_cast<int>(header.maxValue);
    if (m_kind == '1' || m_kind == '4') {
        // A set bit is black.
        m_layout = Layout::Bits;
        m_palette[0] = 0xffffff;
        m_palette[1] = 0;
    } else {
        for (int i = 0; i < 256; ++i)
            m_palette[static_cast<std::size_t>(i)] = colorValue(i, i, i);
        m_layout = header.samples() == 3 ? Layout::Rgb : Layout::Indexed;
    }
    if (m_maxValue <= 255) {
        m_scaled.resize(256);
        for (int v = 0; v < 256; ++v)
            m_scaled[static_cast<std::size_t>(v)] = static_cast<uchar>(scaled(v, m_maxValue));
    }
    const std::size_t rowBytes = static_cast<std::size_t>(header.rowBytes());
    if (header.raw())
        m_wholeFileBytes = header.dataStart + header.rowBytes() * header.height;
    m_raw.resize(header.raw() ? rowBytes : 0);
    m_row.resize(m_layout == Layout::Bits  ? (static_cast<std::size_t>(m_width) + 7) / 8
                 : m_layout == Layout::Rgb ? static_cast<std::size_t>(m_width) * 4
                                           : static_cast<std::size_t>(m_width));
    const qsizetype skip = header.raw() ? header.dataStart : header.dataStart - 1;
    if (!m_input.skip(skip))
        return fail(FormatCheck::endedEarly(m_input));
    return true;
}

bool PnmDecoder::next(Span& span)
{
    if (m_nextRow >= m_height || !problem().isEmpty())
        return false;
    const bool read = m_kind >= '4' ? readRawRow() : readTextRow();
    if (!read)
        return false;
    span.y = m_nextRow++;
    span.x = 0;
    span.step = 1;
    span.count = m_width;
    span.form = m_layout == Layout::Bits  ? Form::Bits
                : m_layout == Layout::Rgb ? Form::Words
                                          : Form::Bytes;
    span.pixels = m_kind == '4' ? m_raw.data() : m_row.data();
    return true;
}

bool PnmDecoder::readRawRow()
{
    const auto bytes = static_cast<qsizetype>(m_raw.size());
    if (m_input.read(reinterpret_cast<char*>(m_raw.data()), bytes) != bytes)
        return fail(FormatCheck::endedEarly(m_input));
    if (m_kind == '4')
        return true;
    const int samples = m_kind == '6' ? 3 : 1;
    const bool wide = m_maxValue > 255;
    int c[3] = {0, 0, 0};
    for (int x = 0; x < m_width; ++x) {
        for (int k = 0; k < samples; ++k) {
            const std::size_t i = static_cast<std::size_t>(x) * samples + k;
            c[k] = wide ? scaled(m_raw[2 * i] << 8 | m_raw[2 * i + 1], m_maxValue)
                        : m_scaled[m_raw[i]];
        }
        if (samples == 1) {
            m_row[static_cast<std::size_t>(x)] = static_cast<uchar>(c[0]);
        } else {
            const RgbWord word = wordFromColorValue(colorValue(c[0], c[1], c[2]));
            std::memcpy(m_row.data() + 4 * static_cast<std::size_t>(x), &word, sizeof word);
        }
    }
    return true;
}

int PnmDecoder::peekByte()
{
    if (m_textAt >= m_text.size()) {
        m_text.resize(64 * 1024);
        const qsizetype got = m_input.read(m_text.data(), m_text.size());
        m_text.resize(std::max<qsizetype>(got, 0));
        m_textAt = 0;
        if (got <= 0)
            return -1;
    }
    return static_cast<uchar>(m_text[m_textAt]);
}

bool PnmDecoder::textNumber(int maxDigits, int& value)
{
    int c = peekByte();
    while (c >= 0 && (FormatCheck::isBlank(static_cast<char>(c)) || c == '#')) {
        if (c == '#') {
            while (c >= 0 && c != '\n' && c != '\r') {
                ++m_textAt;
                c = peekByte();
            }
        } else {
            ++m_textAt;
            c = peekByte();
        }
    }
    if (c < 0)
        return fail(FormatCheck::endedEarly(m_input));
    if (!std::isdigit(c))
        return fail(FormatCheck::damaged(QStringLiteral("it holds something other than numbers")));
    value = 0;
    for (int digits = 0; c >= 0 && std::isdigit(c) && digits < maxDigits; ++digits) {
        value = value * 10 + (c - '0');
        ++m_textAt;
        c = peekByte();
    }
    if (value > m_maxValue)
        return fail(
            FormatCheck::damaged(QStringLiteral("it holds the value %1, above its largest value %2")
                                     .arg(value)
                                     .arg(m_maxValue)));
    return true;
}

bool PnmDecoder::readTextRow()
{
    // Bits are single digits, and may stand without blanks between them.
    const int digits = m_kind == '1' ? 1 : 5;
    if (m_kind == '1')
        std::fill(m_row.begin(), m_row.end(), 0);
    for (int x = 0; x < m_width; ++x) {
        int c[3] = {0, 0, 0};
        const int samples = m_kind == '3' ? 3 : 1;
        for (int k = 0; k < samples; ++k)
            if (!textNumber(digits, c[k]))
                return false;
        if (m_kind == '1') {
            if (c[0])
                m_row[static_cast<std::size_t>(x) / 8] |= static_cast<uchar>(0x80 >> (x % 8));
        } else if (m_kind == '2') {
            m_row[static_cast<std::size_t>(x)] = static_cast<uchar>(scaled(c[0], m_maxValue));
        } else {
            const RgbWord word = wordFromColorValue(colorValue(
                scaled(c[0], m_maxValue), scaled(c[1], m_maxValue), scaled(c[2], m_maxValue)));
            std::memcpy(m_row.data() + 4 * static_cast<std::size_t>(x), &word, sizeof word);
        }
    }
    return true;
}

bool PnmDecoder::finish()
{
    // A text file cut inside its last number would give another value: something must follow.
    if (!problem().isEmpty())
        return false;
    if (m_kind <= '3' && peekByte() < 0)
        return fail(FormatCheck::truncated());
    return true;
}

} // namespace kelviq
