#pragma once

#include <QObject>
#include <QStringList>

class QWidget;

namespace kelviq {

// Takes picture files dropped on a window: local files only, in the order dropped.
class PictureDrop : public QObject
{
    Q_OBJECT

public:
    explicit PictureDrop(QWidget* window);

signals:
    void dropped(const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace kelviq
