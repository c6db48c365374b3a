#include "window/MessageWhenShown.h"

#include "platform/PlatformServices.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace kelviq {

MessageWhenShown::MessageWhenShown(QWidget* window, PlatformServices& platform, QString title)
    : QObject(window), m_window(window), m_platform(platform), m_title(std::move(title))
{
}

void MessageWhenShown::tell(const QString& text)
{
    m_waiting.append(text);
    QWindow* window = m_window->windowHandle();
    if (window && window->isExposed()) {
        tellWaiting();
        return;
    }
    // The window is created by show(); watched from then on.
    m_window->installEventFilter(this);
    if (window)
        window->installEventFilter(this);
}

void MessageWhenShown::tellWaiting()
{
    while (!m_waiting.isEmpty())
        m_platform.showMessage(m_waiting.takeFirst(), m_title, MessageIcon::Critical);
}

bool MessageWhenShown::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && event->type() == QEvent::Show && m_window->windowHandle())
        m_window->windowHandle()->installEventFilter(this);
    if (watched == m_window->windowHandle() && event->type() == QEvent::Expose &&
        !m_waiting.isEmpty() && m_window->windowHandle()->isExposed()) {
        // Not inside the expose event: the message box runs an event loop of its own.
        QMetaObject::invokeMethod(this, &MessageWhenShown::tellWaiting, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kelviq
