#pragma once

#include <QByteArray>

namespace kelviq {

// How large a picture says it is meant to be: its dots per inch across and down, as stated in
// a PNG's pHYs chunk, a BMP's pixels per metre or a JPEG's JFIF density. Only what a file
// really states counts: no chunk, zero or a ratio without a unit is no density.
struct PictureDensity
{
    double dpiX = 0.0;
    double dpiY = 0.0;

    bool stated() const { return dpiX > 0.0 && dpiY > 0.0; }
    // Mils per pixel across, the scale the picture asks for.
    double milsPerPixel() const { return 1000.0 / dpiX; }

    // Dots per metre or per inch as a file counts them; none unless both are above 0.
    static PictureDensity perMetre(double x, double y);
    static PictureDensity perInch(double x, double y);
    // From a BMP file's headers (the decoders of other formats read their own).
    static PictureDensity fromBmp(const QByteArray& bytes);
    // Files count dots per metre in whole numbers: 300 dpi is stored as 11811. Reads back the
    // whole number of dpi that was meant where one gives exactly that count.
    static double dpiFromPerMetre(double dotsPerMetre);
};

} // namespace kelviq
