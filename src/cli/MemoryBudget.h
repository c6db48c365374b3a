#pragma once

#include <QtGlobal>
#include <condition_variable>
#include <mutex>

namespace kelviq {

// Memory shared by pictures converted at the same time: a picture that must be decoded whole
// claims what it will take and waits until that much is free. A claim larger than the whole
// budget waits until nothing else is claimed, so one such picture still converts.
class MemoryBudget
{
public:
    explicit MemoryBudget(qint64 total) : m_total(total) {}

    // Held while the picture is in memory; gives its bytes back when it ends.
    class Claim
    {
    public:
        Claim() = default;
        Claim(MemoryBudget* budget, qint64 bytes) : m_budget(budget), m_bytes(bytes) {}
        Claim(Claim&& other) noexcept : m_budget(other.m_budget), m_bytes(other.m_bytes)
        {
            other.m_budget = nullptr;
        }
        Claim& operator=(Claim&& other) noexcept;
        Claim(const Claim&) = delete;
        Claim& operator=(const Claim&) = delete;
        ~Claim() { release(); }

    private:
        void release();
        MemoryBudget* m_budget = nullptr;
        qint64 m_bytes = 0;
    };

    Claim claim(qint64 bytes);
    qint64 total() const { return m_total; }

private:
    void giveBack(qint64 bytes);

    const qint64 m_total;
    qint64 m_used = 0;
    std::mutex m_mutex;
    std::condition_variable m_freed;
};

} // namespace kelviq
