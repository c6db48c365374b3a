#include "cli/MemoryBudget.h"

#include <algorithm>

namespace kelviq {

MemoryBudget::Claim& MemoryBudget::Claim::operator=(Claim&& other) noexcept
{
    if (this != &other) {
        release();
        m_budget = other.m_budget;
        m_bytes = other.m_bytes;
        other.m_budget = nullptr;
    }
    return *this;
}

void MemoryBudget::Claim::release()
{
    if (m_budget)
        m_budget->giveBack(m_bytes);
    m_budget = nullptr;
}

MemoryBudget::Claim MemoryBudget::claim(qint64 bytes)
{
    const qint64 wanted = std::clamp<qint64>(bytes, 0, m_total);
    std::unique_lock lock(m_mutex);
    m_freed.wait(lock, [&] { return m_used + wanted <= m_total; });
    m_used += wanted;
    return Claim(this, wanted);
}

void MemoryBudget::giveBack(qint64 bytes)
{
    {
        const std::lock_guard lock(m_mutex);
        m_used -= bytes;
    }
    m_freed.notify_all();
}

} // namespace kelviq
