#include "picture/PictureDensity.h"

#include <QtEndian>
#include <cmath>

namespace kelviq {

namespace {

constexpr double MetresPerInch = 0.0254;

} // namespace

double PictureDensity::dpiFromPerMetre(double dotsPerMetre)
{
    const double dpi = dotsPerMetre * MetresPerInch;
    const double whole = std::round(dpi);
    return whole > 0.0 && std::round(whole / MetresPerInch) == dotsPerMetre ? whole : dpi;
}

PictureDensity PictureDensity::perMetre(double x, double y)
{
    if (!(x > 0.0) || !(y > 0.0))
        return {};
    return {dpiFromPerMetre(x), dpiFromPerMetre(y)};
}

PictureDensity PictureDensity::perInch(double x, double y)
{
    if (!(x > 0.0) || !(y > 0.0))
        return {};
    return {x, y};
}

PictureDensity PictureDensity::fromBmp(const QByteArray& bytes)
{
    // Headers of 40 bytes and more hold pixels per metre; the old 12-byte one does not.
    if (bytes.size() < 14 + 40 || qFromLittleEndian<quint32>(bytes.constData() + 14) < 40)
        return {};
    return perMetre(qFromLittleEndian<qint32>(bytes.constData() + 38),
                    qFromLittleEndian<qint32>(bytes.constData() + 42));
}

} // namespace kelviq
