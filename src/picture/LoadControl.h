#pragma once

#include <QtGlobal>
#include <atomic>

namespace kelviq {

// Watches and stops a picture load from another thread (the window's). The loader counts
// the bytes it reads, also a second reading of the same bytes by a decoder, and stops soon
// after cancel is set.
struct LoadControl
{
    std::atomic<bool> cancel{false};
    // Bytes read so far, and what that count reaches at the end: the file's size times the
    // number of times it is read. 0 while unknown (a pipe, or the format not yet known).
    std::atomic<qint64> done{0};
    std::atomic<qint64> total{0};

    bool cancelled() const { return cancel.load(std::memory_order_relaxed); }
    void count(qint64 bytes) { done.fetch_add(bytes, std::memory_order_relaxed); }
};

} // namespace kelviq
