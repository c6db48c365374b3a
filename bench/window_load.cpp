// Times loading one picture in the window as it opens: "1 - Select BMP file" until the picture
// is painted, in the window's own size, then "3 - Make out.plt".
// Prints: load seconds, run seconds. Run with QT_QPA_PLATFORM=offscreen and measure the
// process's peak memory around it (/usr/bin/time).

#include "BenchPlatform.h"
#include "Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: window_load PICTURE\n", stderr);
        return 2;
    }
    BenchPlatform platform(QString::fromLocal8Bit(argv[1]));
    kelviq::Form1 form(platform);
    form.show();
    QCoreApplication::processEvents();

    QElapsedTimer timer;
    timer.start();
    form.Command2_Click();
    form.repaint();
    QCoreApplication::processEvents(); // the picture is painted once
    const double load = timer.nsecsElapsed() / 1e9;
    if (form.FileName().isEmpty())
        return 1;
    timer.restart();
    form.Command1_Click();
    const double run = timer.nsecsElapsed() / 1e9;
    if (form.lastRun().outcome != kelviq::RunOutcome::Written)
        return 1;
    std::printf("%.4f %.4f\n", load, run);
    return 0;
}
