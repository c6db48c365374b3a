#include "FormatCheck.h"

#include <QRegularExpression>

namespace kelviq {

namespace {

QString truncated()
{
    return QStringLiteral("the file is truncated: it ends before the whole picture is there");
}

// A JPEG ends with its end-of-image marker after the last scan. The marker bytes cannot occur
// inside the compressed data, where every 0xff byte is followed by 0x00 (tables before the
// scans may hold them, so only what follows the last scan counts).
QString jpegProblem(const QByteArray& data)
{
    const qsizetype lastScan = data.lastIndexOf(QByteArrayView("\xff\xda", 2));
    const qsizetype end = data.lastIndexOf(QByteArrayView("\xff\xd9", 2));
    if (lastScan < 0)
        return {}; // no picture data at all: the reader refuses it
    return end < lastScan ? truncated() : QString();
}

// An XBM file is C source: width and height defines, then the bytes of the rows in braces.
QString xbmProblem(const QByteArray& data)
{
    static const QRegularExpression size(
        QStringLiteral("#define\\s+\\S*_width\\s+(\\d+).*#define\\s+\\S*_height\\s+(\\d+)"),
        QRegularExpression::DotMatchesEverythingOption);
    const QString text = QString::fromLatin1(data);
    const QRegularExpressionMatch match = size.match(text);
    if (!match.hasMatch())
        return {};
    const qint64 width = match.captured(1).toLongLong();
    const qint64 height = match.captured(2).toLongLong();
    const qsizetype open = text.indexOf(QLatin1Char('{'), match.capturedEnd());
    if (open < 0)
        return truncated();
    const qsizetype close = text.indexOf(QLatin1Char('}'), open);
    if (close < 0)
        return truncated();
    const qint64 values = QStringView(text).mid(open, close - open).count(QLatin1Char(',')) + 1;
    return values < (width + 7) / 8 * height ? truncated() : QString();
}

} // namespace

QString FormatCheck::problem(const QByteArray& data, const QByteArray& format)
{
    if (format == "jpeg" || format == "jpg")
        return jpegProblem(data);
    if (format == "xbm")
        return xbmProblem(data);
    return {};
}

} // namespace kelviq
