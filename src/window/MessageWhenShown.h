#pragma once

#include <QObject>
#include <QStringList>

class QWidget;

namespace kelviq {

class PlatformServices;

// Error messages of a window that come over it: one that arrives before the window is on the
// screen (a picture named on the command line) waits until it is, so that the box is centred
// on the window and the window is seen first.
class MessageWhenShown : public QObject
{
    Q_OBJECT

public:
    MessageWhenShown(QWidget* window, PlatformServices& platform, QString title);

    void tell(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tellWaiting();

    QWidget* m_window;
    PlatformServices& m_platform;
    QString m_title;
    QStringList m_waiting;
};

} // namespace kelviq
