#include "window/PictureDrop.h"

#include <QDropEvent>
#include <QMimeData>
#include <QWidget>

namespace kelviq {

PictureDrop::PictureDrop(QWidget* window) : QObject(window)
{
    window->setAcceptDrops(true);
    window->installEventFilter(this);
}

bool PictureDrop::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::DragEnter) {
        auto* enter = static_cast<QDragEnterEvent*>(event);
        if (enter->mimeData()->hasUrls() && enter->mimeData()->urls().constFirst().isLocalFile())
            enter->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (url.isLocalFile())
                paths.append(url.toLocalFile());
        }
        drop->acceptProposedAction();
        emit dropped(paths);
        return true;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kelviq
