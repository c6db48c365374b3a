#include "output/DisplayName.h"

namespace kelviq {

namespace {

QString hexEscape(uint code)
{
    return QStringLiteral("\\x") +
           QStringLiteral("%1").arg(code, 2, 16, QLatin1Char('0')).toUpper();
}

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

// Length of the valid UTF-8 sequence at p (left bytes available), or 0 when none starts
// there: no overlong forms, no surrogates, nothing beyond U+10FFFF.
qsizetype utf8Sequence(const uchar* p, qsizetype left)
{
    const uchar b = p[0];
    if (b < 0x80)
        return 1;
    qsizetype length = 0;
    uchar low = 0x80; // allowed range of the second byte
    uchar high = 0xbf;
    if (b >= 0xc2 && b <= 0xdf) {
        length = 2;
    } else if (b >= 0xe0 && b <= 0xef) {
        length = 3;
        low = b == 0xe0 ? 0xa0 : 0x80;
        high = b == 0xed ? 0x9f : 0xbf;
    } else if (b >= 0xf0 && b <= 0xf4) {
        length = 4;
        low = b == 0xf0 ? 0x90 : 0x80;
        high = b == 0xf4 ? 0x8f : 0xbf;
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (qsizetype i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xbf)
            return 0;
    return length;
}

} // namespace

QString displayName(const QString& name)
{
    QString shown;
    shown.reserve(name.size());
    for (const QChar c : name) {
        const char16_t u = c.unicode();
        if (u == u'\n')
            shown += QLatin1String("\\n");
        else if (u == u'\r')
            shown += QLatin1String("\\r");
        else if (u == u'\t')
            shown += QLatin1String("\\t");
        else if (isControl(u))
            shown += u < 0x100 ? hexEscape(u) : QStringLiteral("\\u%1").arg(uint(u), 4, 16);
        else
            shown += c;
    }
    return shown;
}

QString displayName(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    QString shown;
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = utf8Sequence(data + i, bytes.size() - i);
        if (length == 0) {
            shown += hexEscape(data[i]);
            ++i;
        } else {
            shown += displayName(QString::fromUtf8(bytes.constData() + i, length));
            i += length;
        }
    }
    return shown;
}

bool isValidUtf8(const QByteArray& bytes)
{
    const auto* data = reinterpret_cast<const uchar*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = utf8Sequence(data + i, bytes.size() - i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

} // namespace kelviq
