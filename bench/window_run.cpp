// Times the window with one picture: "1 - Select BMP file" until the picture is painted, then
// "3 - Make out.plt". By default the window is made large enough to show the picture whole;
// with --own-size it keeps the size it opens with, as a user would see a huge picture.
// Prints: load seconds, run seconds, plot bytes. Run with QT_QPA_PLATFORM=offscreen.

#include "BenchPlatform.h"
#include "window/Form1.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <cstdio>
#include <cstring>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const bool ownSize = argc == 3 && std::strcmp(argv[1], "--own-size") == 0;
    if (argc != 2 && !ownSize) {
        std::fputs("usage: kelviq-bench-window [--own-size] PICTURE\n", stderr);
        return 2;
    }
    const QString picture = QString::fromLocal8Bit(argv[argc - 1]);
    BenchPlatform platform(picture);
    kelviq::Form1 form(platform);
    form.show();
    if (!ownSize) {
        // Room for the whole picture and the controls below it.
        const QSize size = QImageReader(picture).size();
        form.resize(std::max(form.width(), size.width() + 200), size.height() + 400);
    }
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
    const kelviq::RunResult& result = form.lastRun();
    if (result.outcome != kelviq::RunOutcome::Written)
        return 1;
    std::printf("%.4f %.4f %lld\n", load, run, static_cast<long long>(result.bytes));
    return 0;
}
