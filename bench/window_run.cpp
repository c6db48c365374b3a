// Times the window with one picture: "1 - Select BMP file" until the picture is painted, then
// "3 - Make out.plt". By default the window is made large enough to show the picture whole;
// with --own-size it keeps the size it opens with, as a user would see a huge picture. While
// the picture is read, a timer on the user-interface thread measures the longest time that
// thread was kept from its events. Prints: load seconds, run seconds, plot bytes, longest stall
// seconds, and the longest of it the thread was busy itself.
//   kelviq-bench-window [--own-size] PICTURE
//   kelviq-bench-window --close-after SECONDS PICTURE
// The second closes the window that long into the picture's reading and prints the seconds
// from closing to the end of the program. Run with QT_QPA_PLATFORM=offscreen.

#include "BenchPlatform.h"
#include "window/Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QTimer>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>

namespace {

qint64 threadCpuNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The longest gap between the user-interface thread's turns at its events, and the longest
// the thread itself worked between two turns: on a busy machine the rest of a gap is the time
// the system gave the processor to others.
class StallWatch
{
public:
    StallWatch()
    {
        m_clock.start();
        m_lastCpu = threadCpuNanoseconds();
        m_tick.setInterval(2);
        QObject::connect(&m_tick, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            const qint64 cpu = threadCpuNanoseconds();
            m_longest = std::max(m_longest, now - m_last);
            m_longestBusy = std::max(m_longestBusy, cpu - m_lastCpu);
            m_last = now;
            m_lastCpu = cpu;
        });
        m_tick.start();
    }
    double longest() const { return m_longest / 1e9; }
    double longestBusy() const { return m_longestBusy / 1e9; }

private:
    QElapsedTimer m_clock;
    QTimer m_tick;
    qint64 m_last = 0;
    qint64 m_longest = 0;
    qint64 m_lastCpu = 0;
    qint64 m_longestBusy = 0;
};

// Runs events until the picture is read and shown.
void waitForPicture(kelviq::Form1& form)
{
    while (form.loading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 2);
    form.repaint();
    QCoreApplication::processEvents(); // the picture is painted once
}

} // namespace

int main(int argc, char* argv[])
{
    auto app = std::make_unique<QApplication>(argc, argv);
    const bool ownSize = argc == 3 && std::strcmp(argv[1], "--own-size") == 0;
    const bool closing = argc == 4 && std::strcmp(argv[1], "--close-after") == 0;
    if (argc != 2 && !ownSize && !closing) {
        std::fputs("usage: kelviq-bench-window [--own-size | --close-after SECONDS] PICTURE\n",
                   stderr);
        return 2;
    }
    const QString picture = QString::fromLocal8Bit(argv[argc - 1]);
    BenchPlatform platform(picture);
    auto form = std::make_unique<kelviq::Form1>(platform);
    form->show();
    if (argc == 2) {
        // Room for the whole picture and the controls below it.
        const QSize size = QImageReader(picture).size();
        form->resize(std::max(form->width(), size.width() + 200), size.height() + 400);
    }
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    if (closing) {
        form->Command2_Click();
        const qint64 after = static_cast<qint64>(std::atof(argv[2]) * 1e9);
        while (timer.nsecsElapsed() < after)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (!form->loading())
            return 1; // read before it could be closed
        // As closing the window does: the program ends, the window and its reading with it.
        timer.restart();
        form->close();
        form.reset();
        app.reset();
        std::printf("%.4f\n", timer.nsecsElapsed() / 1e9);
        return 0;
    }

    const StallWatch stalls;
    form->Command2_Click();
    waitForPicture(*form);
    const double load = timer.nsecsElapsed() / 1e9;
    const double stall = stalls.longest();
    const double busy = stalls.longestBusy();
    if (form->FileName().isEmpty())
        return 1;

    timer.restart();
    form->Command1_Click();
    const double run = timer.nsecsElapsed() / 1e9;
    const kelviq::RunResult& result = form->lastRun();
    if (result.outcome != kelviq::RunOutcome::Written)
        return 1;
    std::printf("%.4f %.4f %lld %.4f %.4f\n", load, run, static_cast<long long>(result.bytes),
                stall, busy);
    return 0;
}
