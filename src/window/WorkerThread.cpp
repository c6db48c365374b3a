#include "window/WorkerThread.h"

namespace kelviq {

void WorkerThread::stop()
{
    if (m_cancelled)
        m_cancelled->store(true);
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace kelviq
