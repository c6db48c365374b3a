#include "picture/ImageRows.h"

#include "picture/RgbColor.h"

#include <QPainter>
#include <algorithm>

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

ImageRows::ImageRows(QImage image, Layout layout, const Palette& palette)
    : PixelRows(image.width(), image.height(), layout, palette), m_image(std::move(image)),
      m_bits(m_image.constBits()), m_bytesPerLine(m_image.bytesPerLine())
{
}

Raster rasterFromImage(QImage image)
{
    if (image.isNull())
        return {};
    PixelRows::Palette palette{}; // undefined indices read as black
    PixelRows::Layout layout = PixelRows::Layout::Rgb;
    QImage rows;
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
    case QImage::Format_Indexed8: {
        if (image.format() == QImage::Format_MonoLSB) {
            // Qt's XBM reader leaves the bits past each row's last pixel unwritten, and the
            // conversion reads whole bytes.
            const int whole = image.width() / 8;
            const int rest = image.width() % 8;
            for (int y = 0; y < image.height(); ++y) {
                uchar* line = image.scanLine(y);
                if (rest)
                    line[whole] &= static_cast<uchar>((1 << rest) - 1);
                std::fill(line + whole + (rest ? 1 : 0), line + image.bytesPerLine(), uchar(0));
            }
        }
        rows = image.format() == QImage::Format_MonoLSB ? image.convertToFormat(QImage::Format_Mono)
                                                        : image;
        layout = rows.format() == QImage::Format_Mono ? PixelRows::Layout::Bits
                                                      : PixelRows::Layout::Indexed;
        const QList<QRgb> table = rows.colorTable();
        for (qsizetype i = 0; i < table.size() && i < 256; ++i)
            palette[static_cast<std::size_t>(i)] = colorValueFromRgb(flattenOverWhite(table[i]));
        break;
    }
    case QImage::Format_Grayscale8: {
        // A grey picture stays a byte a pixel: the grey level read as an index into greys.
        rows = image;
        layout = PixelRows::Layout::Indexed;
        for (int i = 0; i < 256; ++i)
            palette[static_cast<std::size_t>(i)] = colorValue(i, i, i);
        break;
    }
    default: {
        if (image.format() == QImage::Format_ARGB32) {
            flattenInPlace(image);
            rows = std::move(image);
        } else if (image.hasAlphaChannel()) {
            rows = QImage(image.size(), QImage::Format_RGB32);
            if (!rows.isNull()) {
                rows.fill(Qt::white);
                QPainter painter(&rows);
                painter.drawImage(0, 0, image);
            }
        } else {
            rows = image.convertToFormat(QImage::Format_RGB32);
        }
        break;
    }
    }
    if (rows.isNull()) // conversion ran out of memory
        return {};
    return Raster(std::make_shared<ImageRows>(std::move(rows), layout, palette));
}

} // namespace kelviq
