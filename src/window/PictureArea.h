#pragma once

#include "ColorValue.h"
#include "Raster.h"

#include <QAbstractScrollArea>
#include <QImage>

namespace kelviq {

// The picture box: shows a picture at 1:1 from its top-left corner over the system window
// colour and scrolls where the picture is larger than the area, so every pixel can be seen
// and picked. Positions are in area pixels: picture pixels, (0, 0) the top-left one.
class PictureArea : public QAbstractScrollArea
{
    Q_OBJECT

public:
    explicit PictureArea(QWidget* parent = nullptr);

    void setPicture(const Raster& picture);
    const Raster& picture() const { return m_picture; }

    // Size of the area in pixels: the picture where it is larger than the visible part,
    // otherwise the visible part.
    int ScaleWidth() const;
    int ScaleHeight() const;
    // Colour shown at (x, y): the picture's pixel, the background beyond the picture, or
    // NoColor outside the area.
    ColorValue Point(int x, int y) const;
    ColorValue backgroundColor() const;

    // Area position under a point of the visible part, or (-1, -1) when the point is not
    // on the visible part.
    QPoint areaPosition(const QPoint& viewportPosition) const;

signals:
    void mouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QPoint scrollOffset() const;
    void updateScrollBars();

    Raster m_picture;
    QImage m_shown;
};

} // namespace kelviq
