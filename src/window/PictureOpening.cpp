#include "window/PictureOpening.h"

#include "picture/LoadControl.h"
#include "window/StatusTexts.h"

#include <QCoreApplication>
#include <QPointer>
#include <QShortcut>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace kelviq {

struct PictureOpening::Job
{
    QString path;
    LoadControl control;
    LoadResult result;
    std::thread worker;
    std::atomic<bool> finished{false};
};

PictureOpening::PictureOpening(QWidget* window) : QObject(window)
{
    setObjectName(QStringLiteral("PictureOpening"));
    m_progress.setInterval(ProgressMilliseconds);
    connect(&m_progress, &QTimer::timeout, this, &PictureOpening::tellProgress);
    // Only while reading: otherwise Esc is the controls' own key.
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, &PictureOpening::cancel);
}

PictureOpening::~PictureOpening()
{
    if (m_job)
        m_stopping.push_back(m_job);
    for (const std::shared_ptr<Job>& job : m_stopping)
        job->control.cancel = true;
    // A cancelled worker stops within a block of rows. One held up by its input (a pipe no one
    // writes to) is left to end with the program, which does not wait for it.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    for (const std::shared_ptr<Job>& job : m_stopping) {
        while (!job->finished && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (job->finished)
            job->worker.join();
        else
            job->worker.detach();
    }
}

void PictureOpening::open(const QString& path)
{
    cancel();
    auto job = std::make_shared<Job>();
    job->path = path;
    m_job = job;
    // The worker keeps its job alive; the hand-over names the job, so a late one from a
    // cancelled load is told apart.
    job->worker = std::thread([self = QPointer<PictureOpening>(this), job] {
        LoadOptions options;
        options.control = &job->control;
        job->result = PictureLoader::load(job->path, LoadMode::Decode, options);
        job->finished = true;
        // Handed over on the user-interface thread, to this object only while it exists.
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app,
                [self, job] {
                    if (self)
                        self->deliver(job);
                },
                Qt::QueuedConnection);
        }
    });
    m_progress.start();
    m_escape->setEnabled(true);
    tellProgress();
}

void PictureOpening::cancel()
{
    if (!m_job)
        return;
    m_job->control.cancel = true;
    m_stopping.push_back(std::move(m_job));
    m_job = nullptr;
    m_progress.stop();
    m_escape->setEnabled(false);
    emit note(QStringLiteral("Stopped reading ") + StatusTexts::oneLine(m_stopping.back()->path) +
              (m_shown.isEmpty() ? QStringLiteral(".")
                                 : QStringLiteral("; still showing ") +
                                       StatusTexts::oneLine(m_shown) + QLatin1Char('.')));
}

void PictureOpening::tellProgress()
{
    if (!m_job)
        return;
    const qint64 done = m_job->control.done;
    const qint64 total = m_job->control.total;
    // Reading ends a little past the count for some files; 100 % is for the picture shown.
    const int percent = total > 0 ? static_cast<int>(std::min<qint64>(99, done * 100 / total)) : -1;
    emit note(StatusTexts::reading(m_job->path, percent, done));
}

void PictureOpening::deliver(const std::shared_ptr<Job>& job)
{
    // The worker has finished its work; this only waits for its thread to end.
    job->worker.join();
    if (job != m_job) {
        m_stopping.erase(std::remove(m_stopping.begin(), m_stopping.end(), job), m_stopping.end());
        return;
    }
    m_job = nullptr;
    m_progress.stop();
    m_escape->setEnabled(false);
    if (job->result.ok())
        m_shown = job->path;
    emit finished(job->path, job->result);
}

} // namespace kelviq
