#pragma once

#include "trace/ColorValue.h"
#include "trace/Raster.h"
#include "window/ViewRenderer.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <optional>

namespace kelviq {

// The picture box: shows the picture, its traced pixels or its plot from the top-left corner,
// enlarged or reduced, and scrolls where that is larger than the area. Zoom In and Out step
// through powers of two; fitting a picture to the room takes any factor. Positions are in area
// pixels: picture pixels, (0, 0) the top-left one, whatever the zoom.
class PictureArea : public QAbstractScrollArea
{
    Q_OBJECT

public:
    static constexpr double SmallestZoom = 1.0 / 16;
    static constexpr double LargestZoom = 32;

    explicit PictureArea(QWidget* parent = nullptr);

    // A new picture is shown from its top-left corner at this zoom.
    void setPicture(const Raster& picture, double zoom = 1.0);
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
    // A line over the traced-pixel and plot views, such as why nothing is traced; empty for
    // none.
    void setNotice(const QString& text);

    // Shown pixels per picture pixel. anchor: a point of the visible part that keeps showing
    // the same picture point, as far as the picture's edges allow; the centre when omitted.
    double zoom() const { return m_state.zoom; }
    void setZoom(double zoom);
    void setZoom(double zoom, const QPointF& anchor);
    // The next power of two up or down from the zoom, within SmallestZoom .. LargestZoom.
    void zoomIn() { setZoom(nextZoom(m_state.zoom, 1)); }
    void zoomOut() { setZoom(nextZoom(m_state.zoom, -1)); }
    static double nextZoom(double zoom, int steps);
    // The largest zoom at which a picture is shown whole in room (at most LargestZoom).
    static double fitZoom(QSize picture, QSize room);
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
    void zoomChanged(double zoom);
    // The view or the zoom is another now.
    void viewChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    QPoint scrollOffset() const;
    void updateScrollBars();
    void refresh();

    Raster m_picture;
    Raster m_mask;
    int m_wheelAngle = 0;
    // The exact picture point the last zoom kept under its anchor, and where the view stood
    // after it: the next zoom about the same anchor, with nothing scrolled since, keeps that
    // point instead of one read back from the rounded scroll position.
    struct Anchor
    {
        QPointF viewport;
        QPoint offset;
        QPointF picture;
    };
    std::optional<Anchor> m_anchor;
    ViewState m_state;
    // The last drawing of the visible part, kept until something it shows changes.
    QImage m_rendered;
    QPoint m_renderedAt;
    QString m_notice;
};

} // namespace kelviq
