#pragma once

#include <atomic>
#include <memory>
#include <thread>
#include <utility>

namespace kelviq {

// The one background job of a window analysis: starting a job stops the one before, and each
// job is handed a flag of its own, raised when it is stopped, as its last argument. The owner
// stops it before it goes, since the job hands its results over to the owner.
class WorkerThread
{
public:
    WorkerThread() = default;
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;
    ~WorkerThread() { stop(); }

    // Runs job(args..., cancelled) on a thread of its own.
    template <typename Job, typename... Args> void start(Job&& job, Args&&... args)
    {
        stop();
        m_cancelled = std::make_shared<std::atomic<bool>>(false);
        m_thread = std::thread(std::forward<Job>(job), std::forward<Args>(args)..., m_cancelled);
    }
    // Raises the running job's flag and waits for it to end: a job looks at its flag before
    // every row.
    void stop();

private:
    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_cancelled;
};

} // namespace kelviq
