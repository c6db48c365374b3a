#pragma once

#include "cli/PictureJob.h"

#include <vector>

namespace kelviq {

// Converts the pictures of one command line side by side, up to the machine's cores, within
// one memory budget. Each picture's lines are printed in the order the pictures were given,
// as soon as it and those before it are done.
class BatchRunner
{
public:
    BatchRunner(int threads, qint64 memory) : m_threads(threads), m_memory(memory) {}

    // True when every picture was converted.
    bool run(const std::vector<PictureJob>& jobs) const;

private:
    int m_threads;
    qint64 m_memory;
};

} // namespace kelviq
