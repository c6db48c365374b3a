#include "trace/Raster.h"

#include "picture/BmpRowSource.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

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

// Paints the picture over white in its own memory, a block of rows at a time, so that a large
// picture with transparency is never held twice.
void flattenInPlace(QImage& image)
{
    constexpr int BlockRows = 64;
    for (int top = 0; top < image.height(); top += BlockRows) {
        const int rows = std::min(BlockRows, image.height() - top);
        const QImage source = image.copy(0, top, image.width(), rows);
        if (source.isNull()) { // out of memory
            image = QImage();
            return;
        }
        QImage target(image.scanLine(top), image.width(), rows, image.bytesPerLine(),
                      QImage::Format_RGB32);
        target.fill(Qt::white);
        QPainter painter(&target);
        painter.drawImage(0, 0, source);
    }
    image.reinterpretAsFormat(QImage::Format_RGB32);
}

} // namespace

Raster Raster::fromImage(QImage image)
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
    case QImage::Format_Grayscale8: {
        // A grey picture stays a byte a pixel: the grey level read as an index into greys.
        raster.m_image = image;
        raster.m_layout = Layout::Indexed;
        for (int i = 0; i < 256; ++i)
            raster.m_palette[static_cast<std::size_t>(i)] = colorValueFromRgb(qRgb(i, i, i));
        break;
    }
    default: {
        QImage rgb;
        if (image.format() == QImage::Format_ARGB32) {
            flattenInPlace(image);
            rgb = std::move(image);
        } else if (image.hasAlphaChannel()) {
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
    else {
        raster.m_width = raster.m_image.width();
        raster.m_height = raster.m_image.height();
    }
    return raster;
}

Raster Raster::fromRows(std::shared_ptr<const BmpRowSource> rows)
{
    Raster raster;
    if (!rows || rows->layout() == Layout::Empty)
        return raster;
    raster.m_layout = rows->layout();
    raster.m_width = rows->width();
    raster.m_height = rows->height();
    // Such files have a full table of opaque colours: nothing to fix.
    const QList<QRgb>& table = rows->colorTable();
    for (qsizetype i = 0; i < table.size() && i < 256; ++i)
        raster.m_palette[static_cast<std::size_t>(i)] = colorValueFromRgb(table[i]);
    raster.m_rows = std::move(rows);
    return raster;
}

const uchar* Raster::streamedRow(int y) const
{
    return m_rows->row(y);
}

QString Raster::readError() const
{
    return m_rows ? m_rows->errorString() : QString();
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
    if (m_rows) {
        const QImage::Format format = m_layout == Layout::Bits      ? QImage::Format_Mono
                                      : m_layout == Layout::Indexed ? QImage::Format_Indexed8
                                                                    : QImage::Format_RGB32;
        QImage shown(m_width, m_height, format);
        if (shown.isNull())
            return shown;
        if (m_layout != Layout::Rgb) {
            QList<QRgb> table(m_layout == Layout::Bits ? 2 : 256);
            for (qsizetype i = 0; i < table.size(); ++i)
                table[i] = rgbFromColorValue(m_palette[static_cast<std::size_t>(i)]);
            shown.setColorTable(table);
        }
        const auto bytes = static_cast<std::size_t>(std::min<qsizetype>(
            shown.bytesPerLine(), m_layout == Layout::Bits      ? (m_width + 7) / 8
                                  : m_layout == Layout::Indexed ? m_width
                                                                : qsizetype(m_width) * 4));
        for (int y = 0; y < m_height; ++y)
            std::memcpy(shown.scanLine(y), m_rows->row(y), bytes);
        return shown;
    }
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
