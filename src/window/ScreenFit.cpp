#include "window/ScreenFit.h"

#include <QEvent>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QWindow>

namespace kelviq {

ScreenFit::ScreenFit(QMainWindow* form, QWidget* surface, int leastHeight)
    : QObject(form), m_form(form), m_surface(surface), m_minimum(surface->minimumSize()),
      m_leastHeight(leastHeight)
{
    m_view = new QScrollArea(form);
    m_view->setObjectName(QStringLiteral("Form1_view"));
    m_view->setFrameShape(QFrame::NoFrame);
    m_view->setFocusPolicy(Qt::NoFocus); // the controls keep their tab order
    m_view->setWidgetResizable(true);
    form->takeCentralWidget();
    m_view->setWidget(surface);
    form->setCentralWidget(m_view);
    form->installEventFilter(this);
    apply();
}

ScreenFit::Minimums ScreenFit::fit(QSize minimum, int leastHeight, QSize room, int extent)
{
    const bool across = room.width() < minimum.width();
    const int bar = across ? extent : 0;
    const int height =
        std::clamp(room.height() - bar, std::min(leastHeight, minimum.height()), minimum.height());
    // Below the least height the surface scrolls up and down too.
    return {QSize(minimum.width(), height),
            QSize(std::min(minimum.width(), room.width()),
                  std::max(1, std::min(height + bar, room.height())))};
}

QSize ScreenFit::room() const
{
    const QScreen* screen = m_form->screen();
    if (!screen)
        return m_minimum;
    // The window manager's frame is known once the window is shown.
    const QSize frame = m_form->frameGeometry().size() - m_form->geometry().size();
    const int bars = m_form->menuBar()->sizeHint().height() +
                     (m_form->statusBar() ? m_form->statusBar()->sizeHint().height() : 0);
    return screen->availableGeometry().size() - frame - QSize(0, bars);
}

void ScreenFit::apply()
{
    const Minimums minimums =
        fit(m_minimum, m_leastHeight, room(),
            m_view->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_view));
    m_surface->setMinimumSize(minimums.surface);
    m_view->setMinimumSize(minimums.view);
    if (!m_form->isVisible() || !m_form->screen())
        return;
    // The window's own minimum follows at once, so that it may be made that small now.
    m_form->layout()->activate();
    // A window larger than the screen's free area is made to fit it.
    const QSize frame = m_form->frameGeometry().size() - m_form->geometry().size();
    const QSize free = m_form->screen()->availableGeometry().size() - frame;
    const QSize size = m_form->size().boundedTo(free).expandedTo(m_form->minimumSizeHint());
    if (size != m_form->size())
        m_form->resize(size);
}

QSize ScreenFit::inSight(QPoint topLeft, QSize room) const
{
    const QPoint at = m_surface->mapTo(m_view->viewport(), topLeft);
    return room.boundedTo(m_view->viewport()->size() - QSize(at.x(), at.y()));
}

void ScreenFit::watchScreen(QScreen* screen)
{
    if (screen)
        connect(screen, &QScreen::availableGeometryChanged, this, &ScreenFit::apply,
                Qt::UniqueConnection);
}

void ScreenFit::screenChanged(QScreen* screen)
{
    watchScreen(screen);
    apply();
}

bool ScreenFit::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_form) {
        switch (event->type()) {
        case QEvent::Show:
            if (QWindow* window = m_form->windowHandle()) {
                connect(window, &QWindow::screenChanged, this, &ScreenFit::screenChanged,
                        Qt::UniqueConnection);
                watchScreen(window->screen());
            }
            apply();
            break;
        case QEvent::Move: // also where the window manager's frame becomes known
            apply();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kelviq
