#include "Raster.h"

#include <QPainter>

namespace kelviq {

namespace {

// Transparent pixels are traced as they look painted on white, with the painter's own rounding,
// so what is traced is exactly what a white background shows.
QRgb flattenOverWhite(QRgb argb)
{
    if (qAlpha(argb) == 255)
        return argb;
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::white);
    QImage source(1, 1, QImage::Format_ARGB32);
    source.setPixel(0, 0, argb);
    QPainter painter(&pixel);
    painter.drawImage(0, 0, source);
    painter.end();
    return pixel.pixel(0, 0);
}

} // namespace

Raster Raster::fromImage(const QImage& image)
{
    Raster raster;
    if (image.isNull())
        return raster;

    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: {
        raster.m_image = image.format() == QImage::Format_MonoLSB
                             ? image.convertToFormat(QImage::Format_Mono)
                             : image;
        raster.m_layout =
            raster.m_image.format() == QImage::Format_Mono ? Layout::Bits : Layout::Indexed;
        const QList<QRgb> table = raster.m_image.colorTable();
        const qsizetype needed = raster.m_layout == Layout::Bits ? 2 : 256;
        raster.m_paletteFixed = table.size() < needed;
        raster.m_palette.fill(0); // undefined indices read as black
        for (qsizetype i = 0; i < table.size() && i < 256; ++i) {
            const QRgb shown = flattenOverWhite(table[i]);
            raster.m_paletteFixed = raster.m_paletteFixed || shown != table[i];
            raster.m_palette[static_cast<std::size_t>(i)] = colorValueFromRgb(shown);
        }
        break;
    }
    default: {
        QImage rgb;
        if (image.hasAlphaChannel()) {
            rgb = QImage(image.size(), QImage::Format_RGB32);
            if (!rgb.isNull()) {
                rgb.fill(Qt::white);
                QPainter painter(&rgb);
                painter.drawImage(0, 0, image);
            }
        } else {
            rgb = image.convertToFormat(QImage::Format_RGB32);
        }
        raster.m_image = rgb;
        raster.m_layout = Layout::Rgb;
        break;
    }
    }
    if (raster.m_image.isNull()) // conversion ran out of memory
        raster.m_layout = Layout::Empty;
    return raster;
}

ColorValue Raster::point(int x, int y) const
{
    if (x < 0 || y < 0 || x >= width() || y >= height())
        return NoColor;
    const uchar* line = row(y);
    switch (m_layout) {
    case Layout::Bits:
        return m_palette[(line[x >> 3] >> (7 - (x & 7))) & 1];
    case Layout::Indexed:
        return m_palette[line[x]];
    case Layout::Rgb:
        return colorValueFromRgb(reinterpret_cast<const QRgb*>(line)[x]);
    case Layout::Empty:
        break;
    }
    return NoColor;
}

QImage Raster::shownImage() const
{
    if (!m_paletteFixed)
        return m_image;
    QImage shown = m_image;
    QList<QRgb> table(m_layout == Layout::Bits ? 2 : 256);
    for (qsizetype i = 0; i < table.size(); ++i)
        table[i] = rgbFromColorValue(m_palette[static_cast<std::size_t>(i)]);
    shown.setColorTable(table);
    return shown;
}

} // namespace kelviq
