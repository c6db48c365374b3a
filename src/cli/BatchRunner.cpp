#include "cli/BatchRunner.h"

#include "cli/ConsolePlatform.h"
#include "cli/MemoryBudget.h"
#include "output/DisplayName.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>

namespace kelviq {

namespace {

void print(const JobReport& report)
{
    if (!report.converted) {
        std::fprintf(stderr, "%s\n", report.error.toLocal8Bit().constData());
    } else if (!report.summary.isEmpty()) {
        std::FILE* stream = report.summaryToStandardError ? stderr : stdout;
        std::fprintf(stream, "%s\n", report.summary.toLocal8Bit().constData());
        std::fflush(stream);
    }
}

} // namespace

bool BatchRunner::run(const std::vector<PictureJob>& jobs) const
{
    if (jobs.empty())
        return true;
    MemoryBudget memory(m_memory);
    std::vector<std::optional<JobReport>> reports(jobs.size());
    std::size_t printed = 0;
    bool allConverted = true;
    std::mutex mutex;
    std::atomic<std::size_t> next{0};

    auto work = [&] {
        for (std::size_t i = next++; i < jobs.size(); i = next++) {
            JobReport report;
            try {
                report = jobs[i].run(memory);
            } catch (const std::bad_alloc&) {
                // Memory ran out past the picture's reading: this picture fails, the rest go on.
                report.error =
                    ConsolePlatform::lineFor(QStringLiteral("not enough memory to convert %1.")
                                                 .arg(displayName(jobs[i].picture())));
            }
            const std::lock_guard lock(mutex);
            allConverted = allConverted && report.converted;
            reports[i] = std::move(report);
            for (; printed < reports.size() && reports[printed]; ++printed)
                print(*reports[printed]);
        }
    };
    const std::size_t threads = std::clamp<std::size_t>(m_threads, 1, jobs.size());
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // no more threads to be had: fewer pictures at a time
        }
    }
    work();
    for (std::thread& worker : workers)
        worker.join();
    return allConverted;
}

} // namespace kelviq
