#include "ColorSwatch.h"

#include <QPainter>

namespace kelviq {

ColorSwatch::ColorSwatch(QWidget* parent) : QWidget(parent)
{
}

void ColorSwatch::setFillColor(ColorValue color)
{
    if (color == m_fillColor)
        return;
    m_fillColor = color;
    update();
}

void ColorSwatch::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.fillRect(rect(), QColor(rgbFromColorValue(m_fillColor)));
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace kelviq
