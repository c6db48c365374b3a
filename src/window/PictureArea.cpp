#include "PictureArea.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

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
}

void PictureArea::setPicture(const Raster& picture)
{
    m_picture = picture;
    m_shown = picture.shownImage();
    horizontalScrollBar()->setValue(0);
    verticalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
}

int PictureArea::ScaleWidth() const
{
    return std::max(viewport()->width(), m_picture.width());
}

int PictureArea::ScaleHeight() const
{
    return std::max(viewport()->height(), m_picture.height());
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

QPoint PictureArea::areaPosition(const QPoint& viewportPosition) const
{
    if (!viewport()->rect().contains(viewportPosition))
        return {-1, -1};
    return viewportPosition + scrollOffset();
}

void PictureArea::updateScrollBars()
{
    const QSize visible = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, m_picture.width() - visible.width()));
    horizontalScrollBar()->setPageStep(visible.width());
    horizontalScrollBar()->setSingleStep(16);
    verticalScrollBar()->setRange(0, std::max(0, m_picture.height() - visible.height()));
    verticalScrollBar()->setPageStep(visible.height());
    verticalScrollBar()->setSingleStep(16);
}

void PictureArea::paintEvent(QPaintEvent* /*event*/)
{
    if (m_shown.isNull())
        return;
    // Only the visible part is converted for drawing, so huge pictures cost no extra memory.
    const QRect visible = QRect(scrollOffset(), viewport()->size()).intersected(m_shown.rect());
    if (visible.isEmpty())
        return;
    QPainter painter(viewport());
    painter.drawImage(visible.topLeft() - scrollOffset(), m_shown.copy(visible));
}

void PictureArea::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void PictureArea::scrollContentsBy(int /*dx*/, int /*dy*/)
{
    viewport()->update();
}

void PictureArea::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = areaPosition(event->position().toPoint());
    emit mouseDown(event->buttons(), event->modifiers(), at.x(), at.y());
}

void PictureArea::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint at = areaPosition(event->position().toPoint());
    emit mouseMove(event->buttons(), event->modifiers(), at.x(), at.y());
}

} // namespace kelviq
