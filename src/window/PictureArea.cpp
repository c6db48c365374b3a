#include "window/PictureArea.h"

#include "picture/RgbColor.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <cmath>

namespace kelviq {

PictureArea::PictureArea(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    // Moves without a button arrive too; they are handled (and change nothing).
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    // X11 gives the pointer's place in whole window pixels, rounded from device pixels.
    m_state.pointerRounded = QGuiApplication::platformName() == QLatin1String("xcb");
}

void PictureArea::setPicture(const Raster& picture)
{
    m_picture = picture;
    m_mask = Raster();
    m_zoomStep = 0;
    m_state.zoom = 1.0;
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    refresh();
}

void PictureArea::setViewMode(ViewMode mode)
{
    if (mode == m_state.mode)
        return;
    m_state.mode = mode;
    refresh();
}

void PictureArea::setTraced(const Raster& mask, QRgb highlight)
{
    m_mask = mask;
    m_state.highlight = highlight;
    if (m_state.mode != ViewMode::Picture)
        refresh();
}

void PictureArea::setPlotLook(double pixelMils, double thicknessMils)
{
    if (pixelMils == m_state.pixelMils && thicknessMils == m_state.thicknessMils)
        return;
    m_state.pixelMils = pixelMils;
    m_state.thicknessMils = thicknessMils;
    if (m_state.mode == ViewMode::Plot)
        refresh();
}

QSize PictureArea::shownSize() const
{
    return {static_cast<int>(std::ceil(m_picture.width() * m_state.zoom)),
            static_cast<int>(std::ceil(m_picture.height() * m_state.zoom))};
}

void PictureArea::setZoomStep(int step)
{
    setZoomStep(step, QRectF(viewport()->rect()).center());
}

void PictureArea::setZoomStep(int step, const QPointF& anchor)
{
    step = std::clamp(step, SmallestZoomStep, LargestZoomStep);
    if (step == m_zoomStep || m_picture.isNull())
        return;
    const QPointF picturePoint = (anchor + scrollOffset()) / m_state.zoom;
    m_zoomStep = step;
    m_state.zoom = std::ldexp(1.0, step);
    updateScrollBars();
    emit zoomChanged(step);
    const QPointF shown = picturePoint * m_state.zoom - anchor;
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(shown.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(shown.y())));
    refresh();
}

int PictureArea::ScaleWidth() const
{
    return std::max(static_cast<int>(std::ceil(viewport()->width() / m_state.zoom)),
                    m_picture.width());
}

int PictureArea::ScaleHeight() const
{
    return std::max(static_cast<int>(std::ceil(viewport()->height() / m_state.zoom)),
                    m_picture.height());
}

ColorValue PictureArea::backgroundColor() const
{
    return colorValueFromRgb(viewport()->palette().color(QPalette::Base).rgb());
}

ColorValue PictureArea::Point(int x, int y) const
{
    if (x < 0 || y < 0 || x >= ScaleWidth() || y >= ScaleHeight())
        return NoColor;
    if (x < m_picture.width() && y < m_picture.height())
        return m_picture.point(x, y);
    return backgroundColor();
}

QPoint PictureArea::scrollOffset() const
{
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

QPoint PictureArea::areaPosition(const QPointF& viewportPosition) const
{
    if (!QRectF(viewport()->rect()).contains(viewportPosition))
        return {-1, -1};
    const QPointF shown = viewportPosition + scrollOffset();
    return {ViewRenderer::picturePosition(shown.x(), m_state.zoom),
            ViewRenderer::picturePosition(shown.y(), m_state.zoom)};
}

void PictureArea::updateScrollBars()
{
    const QSize shown = shownSize();
    // Where the whole picture fits the area, no scroll bar takes room from it.
    const bool fits = shown.width() <= width() && shown.height() <= height();
    const Qt::ScrollBarPolicy policy = fits ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    if (horizontalScrollBarPolicy() != policy) { // lays the area out at once
        setHorizontalScrollBarPolicy(policy);
        setVerticalScrollBarPolicy(policy);
    }
    const QSize visible = viewport()->size();
    const int step = std::max(16, static_cast<int>(m_state.zoom));
    horizontalScrollBar()->setRange(0, std::max(0, shown.width() - visible.width()));
    horizontalScrollBar()->setPageStep(visible.width());
    horizontalScrollBar()->setSingleStep(step);
    verticalScrollBar()->setRange(0, std::max(0, shown.height() - visible.height()));
    verticalScrollBar()->setPageStep(visible.height());
    verticalScrollBar()->setSingleStep(step);
}

void PictureArea::refresh()
{
    m_rendered = QImage();
    viewport()->update();
}

void PictureArea::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(viewport());
    if (!m_picture.isNull()) {
        m_state.offset = scrollOffset();
        m_state.size = viewport()->size();
        m_state.devicePixelRatio = viewport()->devicePixelRatioF();
        m_state.windowPosition = viewport()->mapTo(window(), QPoint(0, 0));
        m_state.background = viewport()->palette().color(QPalette::Base).rgb();
        if (m_rendered.isNull() || m_rendered.deviceIndependentSize() != QSizeF(m_state.size) ||
            m_rendered.devicePixelRatio() != m_state.devicePixelRatio ||
            m_renderedAt != m_state.windowPosition) {
            m_rendered = ViewRenderer::render(m_picture, m_mask, m_state);
            m_renderedAt = m_state.windowPosition;
        }
        painter.drawImage(QPointF(0, 0), m_rendered);
    }
}

void PictureArea::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    refresh();
}

void PictureArea::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    refresh();
}

void PictureArea::focusInEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusInEvent(event);
    emit focusChanged(true);
}

void PictureArea::focusOutEvent(QFocusEvent* event)
{
    QAbstractScrollArea::focusOutEvent(event);
    emit focusChanged(false);
}

void PictureArea::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = areaPosition(event->position());
    emit mouseDown(event->buttons(), event->modifiers(), at.x(), at.y());
}

void PictureArea::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = areaPosition(event->position());
    emit mouseMove(event->buttons(), event->modifiers(), at.x(), at.y());
}

// Ctrl and the wheel zoom around the pointer, one power of two a notch.
void PictureArea::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(event);
        return;
    }
    m_wheelAngle += event->angleDelta().y();
    const int notches = m_wheelAngle / 120;
    m_wheelAngle -= notches * 120;
    if (notches != 0)
        setZoomStep(m_zoomStep + notches, event->position());
    event->accept();
}

} // namespace kelviq
