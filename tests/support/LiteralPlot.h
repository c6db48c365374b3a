#pragma once

#include "support/TestFiles.h"

#include <QImage>
#include <cmath>
#include <cstdio>
#include <cstdlib>

// The plot file as its description reads, per pixel and written without any of the program's
// code, for comparing whole plots byte for byte.
namespace testfiles {

// The C library's 15-significant-digit form; zero never "-0", tiny values in full digits.
inline QByteArray plotNumber(double v)
{
    if (v == 0.0)
        return "0";
    char text[400];
    std::snprintf(text, sizeof text, "%.15g", v);
    if (std::abs(v) >= 1e-4)
        return text;
    const double rounded = std::strtod(text, nullptr);
    const int exponent = static_cast<int>(std::floor(std::log10(std::abs(rounded))));
    std::snprintf(text, sizeof text, "%.*f", 14 - exponent, v);
    QByteArray digits(text);
    while (digits.endsWith('0'))
        digits.chop(1);
    return digits;
}

// A start test and an end test per pixel, the end test also firing on the last column; rows
// from the top, Y counted from the bottom row.
inline QByteArray literalPlot(const QImage& picture, QRgb target, double scale, double thickness)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    QByteArray out = PlotHeader;
    const int w = image.width();
    const int h = image.height();
    const QByteArray widthLine = plotNumber(thickness * 100) + " 2\r\n";
    auto traced = [&](int x, int y) {
        return (image.pixel(x, y) & 0xffffff) == (target & 0xffffff);
    };
    for (int y = 0; y < h; ++y) {
        const QByteArray Y = plotNumber(((h - 1 - y) * scale) * 100);
        bool inRun = false;
        for (int x = 0; x < w; ++x) {
            if (!inRun && traced(x, y)) {
                inRun = true;
                out += "259\r\n" + widthLine + plotNumber((x * scale) * 100) + ' ' + Y;
            }
            if (inRun && (!traced(x, y) || x == w - 1)) {
                inRun = false;
                out += ' ' + plotNumber((x * scale) * 100) + ' ' + Y + "\r\n";
            }
        }
    }
    return out;
}

} // namespace testfiles
