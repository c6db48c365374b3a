#include "picture/FormatCheck.h"

#include "picture/PictureStream.h"

#include <QRegularExpression>
#include <QtEndian>
#include <cctype>
#include <limits>
#include <optional>
#include <vector>

namespace kelviq {

namespace {

// Room for what may stand beside the pixels: comments, colour profiles, metadata.
constexpr qint64 Slack = qint64(1) << 20;
constexpr qint64 MetadataSlack = qint64(64) << 20;

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads the numbers of a netpbm file from at: blanks and comments (from # to the line end)
// between them. Returns nothing where something else stands or the data ends first.
class PnmTokens
{
public:
    PnmTokens(const QByteArray& data, qsizetype at) : m_data(data), m_at(at) {}

    // Skips to the next number; false at the end of the data, and sets foreign when a
    // character that has no place in the file stands there instead.
    bool next()
    {
        while (m_at < m_data.size()) {
            const char c = m_data[m_at];
            if (isBlank(c)) {
                ++m_at;
            } else if (c == '#') {
                while (m_at < m_data.size() && m_data[m_at] != '\n' && m_data[m_at] != '\r')
                    ++m_at;
            } else {
                foreign = !std::isdigit(static_cast<unsigned char>(c));
                return !foreign;
            }
        }
        return false;
    }
    // The number at the current place, up to a limit; digits beyond it stay unread.
    std::optional<qint64> number(int maxDigits = 18)
    {
        if (!next())
            return std::nullopt;
        qint64 value = 0;
        int digits = 0;
        while (m_at < m_data.size() && std::isdigit(static_cast<unsigned char>(m_data[m_at]))) {
            if (++digits > maxDigits)
                return std::numeric_limits<qint64>::max();
            value = value * 10 + (m_data[m_at] - '0');
            ++m_at;
        }
        return value;
    }
    qsizetype at() const { return m_at; }
    bool endsHere() const { return m_at >= m_data.size(); }
    bool foreign = false;

private:
    const QByteArray& m_data;
    qsizetype m_at;
};

struct PnmHeader
{
    char kind = 0; // '1' to '6'
    qint64 width = 0;
    qint64 height = 0;
    qint64 maxValue = 1;
    qsizetype dataStart = 0; // binary kinds: after the single blank that ends the header
    QString problem;
    int samples() const { return kind == '3' || kind == '6' ? 3 : 1; }
    bool binary() const { return kind >= '4'; }
    qint64 bodyBytes() const
    {
        if (kind == '4')
            return (width + 7) / 8 * height;
        return width * height * samples() * (maxValue > 255 ? 2 : 1);
    }
};

PnmHeader pnmHeader(const QByteArray& data)
{
    PnmHeader header;
    header.kind = data.size() > 1 ? data[1] : 0;
    PnmTokens tokens(data, 2);
    const int fields = header.kind == '1' || header.kind == '4' ? 2 : 3;
    qint64 values[3] = {0, 0, 1};
    for (int i = 0; i < fields; ++i) {
        const std::optional<qint64> value = tokens.number();
        if (!value) {
            header.problem = tokens.foreign
                                 ? FormatCheck::damaged(QStringLiteral("its header is not one a "
                                                                       "netpbm file has"))
                                 : FormatCheck::truncated();
            return header;
        }
        values[i] = *value;
    }
    header.width = values[0];
    header.height = values[1];
    header.maxValue = fields == 3 ? values[2] : 1;
    if (header.width <= 0 || header.height <= 0) {
        header.problem = FormatCheck::damaged(QStringLiteral("its header gives a size of %1 × %2 "
                                                             "pixels")
                                                  .arg(header.width)
                                                  .arg(header.height));
    } else if (header.maxValue <= 0 || header.maxValue > 65535) {
        header.problem = FormatCheck::damaged(
            QStringLiteral("its header gives %1 as the largest value").arg(header.maxValue));
    }
    header.dataStart = tokens.at() + 1;
    return header;
}

QString pnmProblem(const QByteArray& data)
{
    const PnmHeader header = pnmHeader(data);
    if (!header.problem.isEmpty())
        return header.problem;
    if (header.binary())
        return data.size() - header.dataStart < header.bodyBytes() ? FormatCheck::truncated()
                                                                   : QString();
    PnmTokens tokens(data, header.dataStart - 1);
    const qint64 needed = header.width * header.height * header.samples();
    const int digits = header.kind == '1' ? 1 : 5;
    for (qint64 i = 0; i < needed; ++i) {
        const std::optional<qint64> value = tokens.number(digits);
        if (!value)
            return tokens.foreign ? FormatCheck::damaged(QStringLiteral("it holds something "
                                                                        "other than numbers"))
                                  : FormatCheck::truncated();
        if (*value > header.maxValue)
            return FormatCheck::damaged(
                QStringLiteral("it holds the value %1, above its largest value %2")
                    .arg(*value)
                    .arg(header.maxValue));
    }
    // A file cut inside its last number would give another value.
    return tokens.endsHere() ? FormatCheck::truncated() : QString();
}

// An XBM file is C source: width and height defines, then the bytes of the rows in braces.
struct XbmHeader
{
    qint64 width = 0;
    qint64 height = 0;
    qsizetype open = -1; // the opening brace
};

std::optional<XbmHeader> xbmHeader(const QByteArray& data)
{
    static const QRegularExpression size(
        QStringLiteral("#define\\s+\\S*_width\\s+(\\d{1,9})\\s.*?#define\\s+\\S*_height\\s+"
                       "(\\d{1,9})\\s"),
        QRegularExpression::DotMatchesEverythingOption);
    const QString text = QString::fromLatin1(data);
    const QRegularExpressionMatch match = size.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    XbmHeader header;
    header.width = match.captured(1).toLongLong();
    header.height = match.captured(2).toLongLong();
    header.open = data.indexOf('{', match.capturedEnd());
    return header;
}

QString xbmProblem(const QByteArray& data)
{
    const std::optional<XbmHeader> header = xbmHeader(data);
    if (!header || header->width <= 0 || header->height <= 0)
        return FormatCheck::damaged(QStringLiteral("its size is not given as an XBM file "
                                                   "gives it"));
    if (header->open < 0)
        return FormatCheck::truncated();
    const qint64 needed = (header->width + 7) / 8 * header->height;
    qint64 values = 0;
    qsizetype at = header->open + 1;
    const qsizetype end = data.size();
    while (true) {
        while (at < end && (isBlank(data[at]) || data[at] == ','))
            ++at;
        if (at >= end)
            return FormatCheck::truncated();
        if (data[at] == '}')
            break;
        // Qt's reader takes exactly two hex digits after each "0x".
        const bool hexByte = at + 4 <= end && data[at] == '0' && data[at + 1] == 'x' &&
                             std::isxdigit(static_cast<unsigned char>(data[at + 2])) &&
                             std::isxdigit(static_cast<unsigned char>(data[at + 3]));
        if (!hexByte)
            return at + 4 > end ? FormatCheck::truncated()
                                : FormatCheck::damaged(QStringLiteral("its pixels are not "
                                                                      "written as bytes 0x00 to "
                                                                      "0xff"));
        at += 4;
        if (at < end && data[at] != ',' && data[at] != '}' && !isBlank(data[at]))
            return FormatCheck::damaged(QStringLiteral("its pixels are not written as bytes "
                                                       "0x00 to 0xff"));
        ++values;
    }
    return values < needed ? FormatCheck::damaged(QStringLiteral("it holds fewer pixels than "
                                                                 "its size says"))
                           : QString();
}

// The quoted strings of an XPM file's array, in order; complete is set when the closing brace
// was found.
std::vector<QByteArray> xpmStrings(const QByteArray& data, bool* complete, qsizetype limit)
{
    std::vector<QByteArray> strings;
    *complete = false;
    qsizetype at = data.indexOf('{');
    if (at < 0)
        return strings;
    const qsizetype end = data.size();
    for (++at; at < end && qsizetype(strings.size()) < limit;) {
        const char c = data[at];
        if (c == '"') {
            const qsizetype close = data.indexOf('"', at + 1);
            if (close < 0)
                return strings;
            strings.push_back(data.mid(at + 1, close - at - 1));
            at = close + 1;
        } else if (c == '/' && at + 1 < end && data[at + 1] == '*') {
            const qsizetype close = data.indexOf("*/", at + 2);
            if (close < 0)
                return strings;
            at = close + 2;
        } else if (c == '}') {
            *complete = true;
            return strings;
        } else {
            ++at;
        }
    }
    if (at < end && data.indexOf('}', at) >= 0)
        *complete = true;
    return strings;
}

struct XpmValues
{
    qint64 width = 0;
    qint64 height = 0;
    qint64 colors = 0;
    qint64 charsPerPixel = 0;
};

std::optional<XpmValues> xpmValues(const QByteArray& first)
{
    const QList<QByteArray> fields = first.simplified().split(' ');
    if (fields.size() < 4)
        return std::nullopt;
    XpmValues values;
    bool ok[4] = {};
    values.width = fields[0].toLongLong(&ok[0]);
    values.height = fields[1].toLongLong(&ok[1]);
    values.colors = fields[2].toLongLong(&ok[2]);
    values.charsPerPixel = fields[3].toLongLong(&ok[3]);
    if (!ok[0] || !ok[1] || !ok[2] || !ok[3] || values.width <= 0 || values.height <= 0 ||
        values.colors <= 0 || values.charsPerPixel <= 0 || values.charsPerPixel > 16)
        return std::nullopt;
    return values;
}

QString xpmProblem(const QByteArray& data)
{
    bool complete = false;
    std::vector<QByteArray> strings = xpmStrings(data, &complete, 1);
    if (strings.empty())
        return complete ? FormatCheck::damaged(QStringLiteral("it holds no picture"))
                        : FormatCheck::truncated();
    const std::optional<XpmValues> values = xpmValues(strings[0]);
    if (!values)
        return FormatCheck::damaged(QStringLiteral("its size is not given as an XPM file "
                                                   "gives it"));
    strings = xpmStrings(data, &complete, 1 + values->colors + values->height);
    const qint64 needed = 1 + values->colors + values->height;
    if (qint64(strings.size()) < needed || !complete)
        return complete ? FormatCheck::damaged(QStringLiteral("it holds fewer rows or colours "
                                                              "than its header says"))
                        : FormatCheck::truncated();
    for (qint64 i = 1; i < needed; ++i) {
        const qint64 length =
            i <= values->colors ? values->charsPerPixel + 2 : values->width * values->charsPerPixel;
        if (strings[static_cast<std::size_t>(i)].size() < length)
            return FormatCheck::damaged(QStringLiteral("its row or colour %1 is too short").arg(i));
    }
    return {};
}

qint64 be32(const QByteArray& data, qsizetype at)
{
    return qFromBigEndian<quint32>(data.constData() + at);
}

qint64 le16(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

} // namespace

QString FormatCheck::truncated()
{
    return QStringLiteral("the file is truncated: it ends before the whole picture is there");
}

QString FormatCheck::damaged(const QString& what)
{
    return QStringLiteral("the file is damaged: ") + what;
}

QString FormatCheck::endedEarly(const PictureStream& input)
{
    return input.errorString().isEmpty() ? truncated() : input.errorString();
}

FormatCheck::Format FormatCheck::sniff(const QByteArray& head)
{
    if (head.startsWith("BM") || head.startsWith("BA"))
        return Format::Bmp;
    if (head.startsWith("\x89PNG\r\n\x1a\n"))
        return Format::Png;
    if (head.startsWith("\xff\xd8\xff"))
        return Format::Jpeg;
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return Format::Gif;
    if (head.size() >= 6 && head[0] == 0 && head[1] == 0 && (head[2] == 1 || head[2] == 2) &&
        head[3] == 0 && (head[4] != 0 || head[5] != 0))
        return Format::Ico;
    if (head.size() >= 3 && head[0] == 'P' && head[1] >= '1' && head[1] <= '6' &&
        (isBlank(head[2]) || head[2] == '#'))
        return Format::Pnm;
    if (head.startsWith("/* XPM"))
        return Format::Xpm;
    // XBM files are C source and may begin with comments.
    qsizetype at = 0;
    while (at < head.size()) {
        if (isBlank(head[at])) {
            ++at;
        } else if (head.mid(at, 2) == "/*") {
            const qsizetype close = head.indexOf("*/", at + 2);
            if (close < 0)
                break;
            at = close + 2;
        } else {
            break;
        }
    }
    if (head.mid(at, 7) == "#define" && head.indexOf("_width", at) >= 0)
        return Format::Xbm;
    return Format::Unknown;
}

QByteArray FormatCheck::qtName(Format format, const QByteArray& head)
{
    switch (format) {
    case Format::Bmp:
        return "bmp";
    case Format::Png:
        return "png";
    case Format::Jpeg:
        return "jpeg";
    case Format::Gif:
        return "gif";
    case Format::Ico:
        return head.size() > 2 && head[2] == 2 ? "cur" : "ico";
    case Format::Pnm: {
        const char kind = head[1];
        return kind == '1' || kind == '4' ? "pbm" : kind == '2' || kind == '5' ? "pgm" : "ppm";
    }
    case Format::Xbm:
        return "xbm";
    case Format::Xpm:
        return "xpm";
    case Format::Unknown:
        break;
    }
    return {};
}

bool FormatCheck::beyondReach(Claim& claim)
{
    // Up to 2^31 pixels, every product below fits in 64 bits many times over.
    constexpr qint64 Reach = qint64(1) << 31;
    if (claim.width <= Reach && claim.height <= Reach && claim.width * claim.height <= Reach)
        return false;
    claim.memoryBytes = std::numeric_limits<qint64>::max();
    claim.fileBytes = Slack;
    return true;
}

FormatCheck::Claim FormatCheck::pngClaim(const QByteArray& data)
{
    Claim claim;
    if (data.size() < 33)
        return {0, 0, 0, 0, truncated()};
    if (data.mid(12, 4) != "IHDR")
        return {0, 0, 0, 0, damaged(QStringLiteral("its header chunk is missing"))};
    claim.width = be32(data, 16);
    claim.height = be32(data, 20);
    if (beyondReach(claim))
        return claim;
    const int depth = static_cast<uchar>(data[24]);
    const int colorType = static_cast<uchar>(data[25]);
    const int channels = colorType == 2 ? 3 : colorType == 4 ? 2 : colorType == 6 ? 4 : 1;
    const qint64 pixels = claim.width * claim.height;
    // Qt makes 16-bit pictures 8 bytes a pixel, then the tracing copy of 4; palette and grey
    // pictures up to 8 bits stay a byte a pixel; the rest become 4 bytes, flattened in place.
    const qint64 perPixel = depth == 16 ? 12 : colorType == 3 ? 1 : 4;
    claim.memoryBytes = pixels * perPixel;
    // The rows with their filter bytes (seven passes when interlaced), compressed no smaller
    // than stored, in chunks of any size.
    const qint64 raw = (claim.width * channels * depth + 7) / 8 * claim.height + 7 * claim.height;
    claim.fileBytes = 2 * raw + MetadataSlack;
    // Deflate packs at most 1032 bytes into one.
    claim.leastFileBytes = raw / 1032;
    return claim;
}

FormatCheck::Claim FormatCheck::claim(Format format, const QByteArray& head)
{
    Claim claim;
    switch (format) {
    case Format::Png:
        return pngClaim(head);
    case Format::Gif: {
        if (head.size() < 13)
            return {0, 0, 0, 0, truncated()};
        claim.width = le16(head, 6);
        claim.height = le16(head, 8);
        const qint64 pixels = claim.width * claim.height;
        // Qt's picture, and the copy of the screen some frames ask it to keep.
        claim.memoryBytes = pixels * 8;
        // The first frame's codes take at most 12 bits a pixel.
        claim.fileBytes = 2 * pixels + MetadataSlack;
        return claim;
    }
    case Format::Pnm: {
        const PnmHeader header = pnmHeader(head);
        if (!header.problem.isEmpty()) {
            claim.problem = header.problem;
            return claim;
        }
        claim.width = header.width;
        claim.height = header.height;
        if (beyondReach(claim))
            return claim;
        const qint64 pixels = claim.width * claim.height;
        const bool wide = header.maxValue > 255;
        claim.memoryBytes = pixels * (header.samples() == 3 ? (wide ? 12 : 4) : (wide ? 6 : 1));
        claim.fileBytes = header.binary() ? header.dataStart + header.bodyBytes()
                                          : pixels * header.samples() * 8 + Slack;
        return claim;
    }
    case Format::Xbm: {
        const std::optional<XbmHeader> header = xbmHeader(head);
        if (!header) {
            claim.problem = damaged(QStringLiteral("its size is not given as an XBM file "
                                                   "gives it"));
            return claim;
        }
        claim.width = header->width;
        claim.height = header->height;
        if (beyondReach(claim))
            return claim;
        const qint64 bytes = (claim.width + 7) / 8 * claim.height;
        claim.memoryBytes = 2 * bytes; // Qt's picture and its tracing copy
        claim.fileBytes = 8 * bytes + Slack;
        return claim;
    }
    case Format::Xpm: {
        bool complete = false;
        const std::vector<QByteArray> strings = xpmStrings(head, &complete, 1);
        const std::optional<XpmValues> values =
            strings.empty() ? std::nullopt : xpmValues(strings[0]);
        if (!values) {
            claim.problem = strings.empty() && !complete
                                ? truncated()
                                : damaged(QStringLiteral("its size is not given as an XPM "
                                                         "file gives it"));
            return claim;
        }
        claim.width = values->width;
        claim.height = values->height;
        if (beyondReach(claim))
            return claim;
        const qint64 pixels = claim.width * claim.height;
        if (values->colors > std::max<qint64>(pixels, 256)) {
            claim.problem = damaged(QStringLiteral("its header gives more colours than pixels"));
            return claim;
        }
        claim.memoryBytes = pixels * 4 + values->colors * 256;
        claim.fileBytes = pixels * values->charsPerPixel + claim.height * 16 +
                          values->colors * (values->charsPerPixel + 64) + Slack;
        return claim;
    }
    case Format::Bmp: {
        // Only the size: the bitmap check itself needs the whole file.
        if (head.size() < 26)
            return claim;
        const bool os2v1 = qFromLittleEndian<quint32>(head.constData() + 14) == 12;
        claim.width = os2v1 ? le16(head, 18) : qFromLittleEndian<qint32>(head.constData() + 18);
        claim.height = os2v1 ? le16(head, 20) : qFromLittleEndian<qint32>(head.constData() + 22);
        claim.height = std::abs(claim.height);
        if (claim.width <= 0 || beyondReach(claim))
            return claim;
        const qint64 pixels = std::max<qint64>(claim.width, 0) * claim.height;
        claim.memoryBytes = pixels * 4;
        // 32 bits a pixel, or run-length data of single pixels with a row end each.
        claim.fileBytes = pixels * 4 + claim.height * 4 + Slack;
        return claim;
    }
    case Format::Jpeg:
    case Format::Ico:
    case Format::Unknown:
        break;
    }
    return claim;
}

QString FormatCheck::textProblem(Format format, const QByteArray& data)
{
    switch (format) {
    case Format::Pnm:
        return pnmProblem(data);
    case Format::Xbm:
        return xbmProblem(data);
    case Format::Xpm:
        return xpmProblem(data);
    default:
        return {};
    }
}

} // namespace kelviq
