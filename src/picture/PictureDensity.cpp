#include "picture/PictureDensity.h"

#include <QtEndian>
#include <cmath>

namespace kelviq {

namespace {

constexpr double MetresPerInch = 0.0254;

PictureDensity perMetre(double x, double y)
{
    if (!(x > 0.0) || !(y > 0.0))
        return {};
    return {PictureDensity::dpiFromPerMetre(x), PictureDensity::dpiFromPerMetre(y)};
}

} // namespace

double PictureDensity::dpiFromPerMetre(double dotsPerMetre)
{
    const double dpi = dotsPerMetre * MetresPerInch;
    const double whole = std::round(dpi);
    return whole > 0.0 && std::round(whole / MetresPerInch) == dotsPerMetre ? whole : dpi;
}

PictureDensity PictureDensity::fromPng(const QByteArray& bytes)
{
    // Chunks after the 8-byte signature: length, type, data, checksum. pHYs comes before the
    // picture data.
    qsizetype at = 8;
    while (at + 8 <= bytes.size()) {
        const qint64 length = qFromBigEndian<quint32>(bytes.constData() + at);
        const QByteArray type = bytes.mid(at + 4, 4);
        if (type == "IDAT" || type == "IEND")
            break;
        if (type == "pHYs" && length == 9 && at + 8 + 9 <= bytes.size()) {
            const char* data = bytes.constData() + at + 8;
            if (data[8] != 1) // 0: only the pixels' aspect ratio
                return {};
            return perMetre(qFromBigEndian<quint32>(data), qFromBigEndian<quint32>(data + 4));
        }
        at += 12 + length;
    }
    return {};
}

PictureDensity PictureDensity::fromBmp(const QByteArray& bytes)
{
    // Headers of 40 bytes and more hold pixels per metre; the old 12-byte one does not.
    if (bytes.size() < 14 + 40 || qFromLittleEndian<quint32>(bytes.constData() + 14) < 40)
        return {};
    return perMetre(qFromLittleEndian<qint32>(bytes.constData() + 38),
                    qFromLittleEndian<qint32>(bytes.constData() + 42));
}

PictureDensity PictureDensity::fromJpeg(const QByteArray& bytes)
{
    // Markers after the start of the picture, each with its length, up to the first scan.
    qsizetype at = 2;
    while (at + 4 <= bytes.size() && static_cast<uchar>(bytes[at]) == 0xff) {
        const auto marker = static_cast<uchar>(bytes[at + 1]);
        const qsizetype length = qFromBigEndian<quint16>(bytes.constData() + at + 2);
        if (marker == 0xda || length < 2)
            break;
        const char* data = bytes.constData() + at + 4;
        if (marker == 0xe0 && length >= 16 && at + 2 + length <= bytes.size() &&
            QByteArray(data, 5) == QByteArray("JFIF", 5)) {
            const int units = static_cast<uchar>(data[7]);
            const double x = qFromBigEndian<quint16>(data + 8);
            const double y = qFromBigEndian<quint16>(data + 10);
            if (units == 1 && x > 0 && y > 0) // dots per inch
                return {x, y};
            if (units == 2) // dots per centimetre
                return perMetre(x * 100.0, y * 100.0);
            return {}; // 0: only the pixels' aspect ratio
        }
        at += 2 + length;
    }
    return {};
}

} // namespace kelviq
