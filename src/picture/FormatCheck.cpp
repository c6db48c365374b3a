#include "picture/FormatCheck.h"

#include "picture/PictureStream.h"
#include "picture/PnmDecoder.h"
#include "picture/XbmCheck.h"
#include "picture/XpmCheck.h"

#include <QtEndian>
#include <limits>

namespace kelviq {

namespace {

// Room for colour profiles and other metadata beside the pixels.
constexpr qint64 MetadataSlack = qint64(64) << 20;

qint64 be32(const QByteArray& data, qsizetype at)
{
    return qFromBigEndian<quint32>(data.constData() + at);
}

qint64 le16(const QByteArray& data, qsizetype at)
{
    return qFromLittleEndian<quint16>(data.constData() + at);
}

} // namespace

bool FormatCheck::isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

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
    case Format::Pnm:
        return PnmDecoder::claim(head);
    case Format::Xbm:
        return XbmCheck::claim(head);
    case Format::Xpm:
        return XpmCheck::claim(head);
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
    case Format::Xbm:
        return XbmCheck::problem(data);
    case Format::Xpm:
        return XpmCheck::problem(data);
    default:
        return {};
    }
}

} // namespace kelviq
