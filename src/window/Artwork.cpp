#include "window/Artwork.h"

#include <QPainter>
#include <QPainterPath>

namespace kelviq {

QImage Artwork::icon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.scale(size / 32.0, size / 32.0);
    paintIcon(painter, size % 32 == 0);
    return image;
}

void Artwork::paintIcon(QPainter& painter, bool crisp)
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(40, 40, 40), 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(1.5, 1.5, 29, 29), 3, 3);

    // Rows of a round blob, each drawn as one stroke: what the program does to a picture.
    // Between whole pixels the strokes are smoothed rather than snapped to uneven rows.
    painter.setRenderHint(QPainter::Antialiasing, !crisp);
    const int spans[][2] = {{12, 19}, {9, 22}, {7, 24}, {7, 24}, {9, 22}, {12, 19}};
    for (int i = 0; i < 6; ++i) {
        const int y = 6 + i * 3;
        painter.fillRect(QRect(spans[i][0], y, spans[i][1] - spans[i][0], 2), QColor(0, 110, 40));
    }
    painter.fillRect(QRect(5, 26, 22, 2), QColor(200, 30, 30));
}

QImage Artwork::busyPicture(int frame)
{
    QImage image(65, 70, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    const QColor wood(120, 80, 40);
    const QColor glass(230, 240, 250);
    const QColor sand(220, 170, 60);

    // Glass outline: two bulbs meeting at a narrow neck.
    QPainterPath bulbs;
    bulbs.moveTo(16, 9);
    bulbs.lineTo(49, 9);
    bulbs.cubicTo(49, 26, 36, 30, 34, 35);
    bulbs.cubicTo(36, 40, 49, 44, 49, 61);
    bulbs.lineTo(16, 61);
    bulbs.cubicTo(16, 44, 29, 40, 31, 35);
    bulbs.cubicTo(29, 30, 16, 26, 16, 9);
    bulbs.closeSubpath();
    painter.setPen(QPen(QColor(60, 60, 80), 1.5));
    painter.setBrush(glass);
    painter.drawPath(bulbs);

    // Sand: a full upper bulb with a thin stream, or a heap in the lower bulb.
    painter.setClipPath(bulbs);
    painter.setPen(Qt::NoPen);
    painter.setBrush(sand);
    if (frame == 0) {
        painter.drawRect(QRectF(10, 16, 45, 19));
        painter.drawRect(QRectF(31.5, 35, 2, 22));
        painter.drawEllipse(QRectF(26, 55, 13, 8));
    } else {
        painter.drawEllipse(QRectF(27, 27, 11, 6));
        painter.drawRect(QRectF(31.5, 33, 2, 8));
        QPainterPath heap;
        heap.moveTo(12, 62);
        heap.cubicTo(20, 50, 45, 50, 53, 62);
        heap.closeSubpath();
        painter.drawPath(heap);
    }
    painter.setClipping(false);

    // Top and bottom boards.
    painter.setPen(QPen(wood.darker(140), 1));
    painter.setBrush(wood);
    painter.drawRoundedRect(QRectF(8, 3, 49, 6), 2, 2);
    painter.drawRoundedRect(QRectF(8, 61, 49, 6), 2, 2);
    return image;
}

} // namespace kelviq
