#pragma once

#include "trace/ColorValue.h"

#include <QWidget>

namespace kelviq {

// A small filled square with a black outline showing one colour (the picked colour); its
// tooltip names the colour as #RRGGBB.
class ColorSwatch : public QWidget
{
    Q_OBJECT

public:
    explicit ColorSwatch(QWidget* parent = nullptr);

    ColorValue FillColor() const { return m_fillColor; }
    void setFillColor(ColorValue color);

    static QString colorName(ColorValue color);

signals:
    void fillColorChanged(ColorValue color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ColorValue m_fillColor = 0;
};

} // namespace kelviq
