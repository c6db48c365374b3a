#include "picture/XbmCheck.h"

#include <QRegularExpression>
#include <cctype>
#include <optional>

namespace kelviq {

namespace {

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

} // namespace

QString XbmCheck::problem(const QByteArray& data)
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
        while (at < end && (FormatCheck::isBlank(data[at]) || data[at] == ','))
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
        if (at < end && data[at] != ',' && data[at] != '}' && !FormatCheck::isBlank(data[at]))
            return FormatCheck::damaged(QStringLiteral("its pixels are not written as bytes "
                                                       "0x00 to 0xff"));
        ++values;
    }
    return values < needed ? FormatCheck::damaged(QStringLiteral("it holds fewer pixels than "
                                                                 "its size says"))
                           : QString();
}

FormatCheck::Claim XbmCheck::claim(const QByteArray& head)
{
    FormatCheck::Claim claim;
    const std::optional<XbmHeader> header = xbmHeader(head);
    if (!header) {
        claim.problem = FormatCheck::damaged(QStringLiteral("its size is not given as an XBM file "
                                                            "gives it"));
        return claim;
    }
    claim.width = header->width;
    claim.height = header->height;
    if (FormatCheck::beyondReach(claim))
        return claim;
    const qint64 bytes = (claim.width + 7) / 8 * claim.height;
    claim.memoryBytes = 2 * bytes; // Qt's picture and its tracing copy
    claim.fileBytes = 8 * bytes + FormatCheck::Slack;
    return claim;
}

} // namespace kelviq
