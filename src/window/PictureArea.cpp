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

void PictureArea::setPicture(const Raster& picture, double zoom)
{
    m_picture = picture;
    m_mask = Raster();
    m_state.zoom = zoom;
    m_anchor.reset();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    refresh();
    emit viewChanged();
}

void PictureArea::setViewMode(ViewMode mode)
{
    if (mode == m_state.mode)
        return;
    m_state.mode = mode;
    refresh();
    emit viewChanged();
}

void PictureArea::setNotice(const QString& text)
{
    if (text == m_notice)
        return;
    m_notice = text;
    viewport()->update();
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

double PictureArea::nextZoom(double zoom, int steps)
{
    // From a zoom between two powers of two, the first step goes to one of them.
    const double exponent = std::log2(zoom);
    const double rounded = std::round(exponent);
    const double from = std::abs(exponent - rounded) < 1e-9 ? rounded
                        : steps > 0                         ? std::floor(exponent)
                                                            : std::ceil(exponent);
    const double next = std::clamp(std::exp2(from + steps), SmallestZoom, LargestZoom);
    // A picture fitted below the smallest step is not enlarged by zooming out.
    return steps > 0 ? std::max(next, zoom) : std::min(next, zoom);
}

double PictureArea::fitZoom(QSize picture, QSize room)
{
    if (picture.isEmpty() || room.isEmpty())
        return 1.0;
    double zoom = std::min({double(room.width()) / picture.width(),
                            double(room.height()) / picture.height(), LargestZoom});
    // The shown size is rounded up: the factor must not make it a pixel too large.
    while (std::ceil(picture.width() * zoom) > room.width() ||
           std::ceil(picture.height() * zoom) > room.height())
        zoom = std::nextafter(zoom, 0.0);
    return zoom;
}

void PictureArea::setZoom(double zoom)
{
    setZoom(zoom, QRectF(viewport()->rect()).center());
}

void PictureArea::setZoom(double zoom, const QPointF& anchor)
{
    if (zoom == m_state.zoom || !(zoom > 0.0) || m_picture.isNull())
        return;
    const bool sameAnchor =
        m_anchor && m_anchor->viewport == anchor && m_anchor->offset == scrollOffset();
    const QPointF picturePoint =
        sameAnchor ? m_anchor->picture : (anchor + scrollOffset()) / m_state.zoom;
    m_state.zoom = zoom;
    updateScrollBars();
    emit zoomChanged(zoom);
    const QPointF shown = picturePoint * zoom - anchor;
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(shown.x())));
    verticalScrollBar()->setValue(static_cast<int>(std::lround(shown.y())));
    m_anchor = Anchor{anchor, scrollOffset(), picturePoint};
    refresh();
    emit viewChanged();
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
    if (!m_notice.isEmpty() && m_state.mode != ViewMode::Picture) {
        // Across the top of the visible part, where it is read first.
        const QRect band(0, 0, viewport()->width(), fontMetrics().height() * 2);
        painter.fillRect(band, palette().color(QPalette::ToolTipBase));
        painter.setPen(palette().color(QPalette::ToolTipText));
        painter.drawText(band.adjusted(6, 0, -6, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         fontMetrics().elidedText(m_notice, Qt::ElideRight, band.width() - 12));
    }
}

void PictureArea::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
    refresh();
    // The parent draws the focus frame around the area: where it was is drawn again.
    if (parentWidget())
        parentWidget()->update();
}

void PictureArea::moveEvent(QMoveEvent* event)
{
    QAbstractScrollArea::moveEvent(event);
    if (parentWidget())
        parentWidget()->update();
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
        setZoom(nextZoom(m_state.zoom, notches), event->position());
    event->accept();
}

} // namespace kelviq
