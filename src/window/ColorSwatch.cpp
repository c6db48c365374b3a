#include "window/ColorSwatch.h"

#include "picture/RgbColor.h"

#include <QPainter>

namespace kelviq {

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent)
{
    setToolTip(colorName(m_fillColor));
}

QString ColorSwatch::colorName(ColorValue color)
{
    return QStringLiteral("#%1")
        .arg(rgbFromColorValue(color) & 0xffffffu, 6, 16, QLatin1Char('0'))
        .toUpper();
}

void ColorSwatch::setFillColor(ColorValue color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    setToolTip(colorName(color));
    update();
    emit fillColorChanged(color);
}

void ColorSwatch::paintEvent(QPaintEvent* /*event*/)
{
    // Filled rectangles of whole pixels: the outline stays one sharp pixel at any scale.
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.fillRect(rect().adjusted(1, 1, -1, -1), QColor(rgbFromColorValue(m_fillColor)));
}

} // namespace kelviq
