// Times the window's conversion of one picture: opens it through "1 - Select BMP file" in a
// window large enough to show it whole, then presses "3 - Make out.plt".
// Prints: load seconds, run seconds, plot bytes. Run with QT_QPA_PLATFORM=offscreen.

#include "BenchPlatform.h"
#include "Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: window_run PICTURE\n", stderr);
        return 2;
    }
    BenchPlatform platform(QString::fromLocal8Bit(argv[1]));
    kelviq::Form1 form(platform);
    form.show();
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    const QSize size = reader.size();
    // Room for the whole picture and the controls below it.
    form.resize(std::max(form.width(), size.width() + 200), size.height() + 400);
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    form.Command2_Click();
    QCoreApplication::processEvents(); // the picture is painted once
    const double load = timer.nsecsElapsed() / 1e9;
    if (form.FileName().isEmpty())
        return 1;

    timer.restart();
    form.Command1_Click();
    const double run = timer.nsecsElapsed() / 1e9;
    const kelviq::RunResult& result = form.lastRun();
    if (result.outcome != kelviq::RunOutcome::Written)
        return 1;
    std::printf("%.4f %.4f %lld\n", load, run, static_cast<long long>(result.bytes));
    return 0;
}
