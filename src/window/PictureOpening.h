#pragma once

#include "picture/PictureLoader.h"

#include <QObject>
#include <QTimer>
#include <memory>
#include <vector>

class QShortcut;
class QWidget;

namespace kelviq {

// Reads and decodes pictures for the window on a worker thread, so that the window stays
// usable meanwhile and the picture shown before stays until the new one is whole. Tells how
// far a load has come, cancels it on Esc or when another picture is opened, and hands the
// result over on the user-interface thread.
class PictureOpening : public QObject
{
    Q_OBJECT

public:
    // Esc in window cancels a load.
    explicit PictureOpening(QWidget* window);
    // Cancels what is still loading; a cancelled worker stops within a block of rows.
    ~PictureOpening() override;

    // Starts loading the picture at path, cancelling a load in progress.
    void open(const QString& path);
    void cancel();
    bool busy() const { return m_job != nullptr; }

    static constexpr int ProgressMilliseconds = 100;

signals:
    // What the status line should say of the reading: how far it came, or that it stopped.
    void note(const QString& text);
    // The load ended, with the picture or the reason it could not be read.
    void finished(const QString& path, const LoadResult& result);

private:
    struct Job;

    void tellProgress();
    void deliver(const std::shared_ptr<Job>& job);

    std::shared_ptr<Job> m_job;
    // Cancelled loads whose workers have not yet stopped.
    std::vector<std::shared_ptr<Job>> m_stopping;
    QTimer m_progress;
    QShortcut* m_escape;
    // The last picture read whole: it stays shown when a load is cancelled.
    QString m_shown;
};

} // namespace kelviq
