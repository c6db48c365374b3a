#pragma once

#include "trace/ColorValue.h"
#include "trace/Raster.h"
#include "window/ViewRenderer.h"

#include <QAbstractScrollArea>
#include <QImage>

namespace kelviq {

// The picture box: shows the picture, its traced pixels or its plot from the top-left corner,
// enlarged or reduced by a power of two, and scrolls where that is larger than the area.
// Positions are in area pixels: picture pixels, (0, 0) the top-left one, whatever the zoom.
class PictureArea : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr int SmallestZoomStep = -4; // 1/16
    static constexpr int LargestZoomStep = 5;   // 32

    explicit PictureArea(QWidget* parent = nullptr);

    // A new picture is shown at its own size.
    void setPicture(const Raster& picture);
    const Raster& picture() const { return m_picture; }

    void setViewMode(ViewMode mode);
    ViewMode viewMode() const { return m_state.mode; }
    // The traced pixels (1-bit, black where traced) and the colour that marks them.
    void setTraced(const Raster& mask, QRgb highlight);
    // Lets go of the traced pixels while new ones are worked out, so that the two are never
    // held at once; what is drawn stays until something makes it be drawn again.
    void releaseTraced() { m_mask = Raster(); }
    // The plot's look; a scale that is not a positive number shows an empty plot.
    void setPlotLook(double pixelMils, double thicknessMils);

    // Zoom is 2^step. anchor: a point of the visible part that keeps showing the same
    // picture point; the centre when omitted.
    int zoomStep() const { return m_zoomStep; }
    double zoom() const { return m_state.zoom; }
    void setZoomStep(int step);
    void setZoomStep(int step, const QPointF& anchor);
    // Size of the picture as shown at the current zoom.
    QSize shownSize() const;

    // Size of the area in pixels: the picture where it is larger than the visible part,
    // otherwise the visible part.
    int ScaleWidth() const;
    int ScaleHeight() const;
    // Colour of the picture at (x, y) — never a view's highlight — the background beyond
    // the picture, or NoColor outside the area.
    ColorValue Point(int x, int y) const;
    ColorValue backgroundColor() const;

    // Area position under a point of the visible part (the pixel it falls in), or (-1, -1)
    // when the point is not on the visible part.
    QPoint areaPosition(const QPointF& viewportPosition) const;

signals:
    void mouseDown(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
    void mouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers shift, int x, int y);
    // The parent draws the focus frame around the area, where it hides no pixel.
    void focusChanged(bool focused);
    // After the zoom changed, before the view scrolls to its anchor: the area may resize.
    void zoomChanged(int step);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QPoint scrollOffset() const;
    void updateScrollBars();
    void refresh();

    Raster m_picture;
    Raster m_mask;
    int m_zoomStep = 0;
    int m_wheelAngle = 0;
    ViewState m_state;
    // The last drawing of the visible part, kept until something it shows changes.
    QImage m_rendered;
    QPoint m_renderedAt;
};

} // namespace kelviq
