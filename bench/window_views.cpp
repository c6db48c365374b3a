// Times how soon the window shows what a pick or a change of settings does: from the event
// until the status line has the new segment count and the current view is drawn again.
// Opens the picture through "1 - Select BMP file", then: picks two colours in turn in the
// traced-pixel view; in the plot view changes the tolerance (a new trace) and types scales (the
// plot drawn again on the user-interface thread), the picture zoomed to fit. Also times how long
// each pick's own handler holds the user-interface thread; then, with Filled Outlines on, picks
// in the outline view until the shapes are counted and drawn. Prints: load s, pick s, pick
// handler s, tolerance change s, scale change s, outline pick s (medians of 5). Run with
// QT_QPA_PLATFORM=offscreen; the choices it makes are not remembered.

#include "BenchPlatform.h"
#include "window/Form1.h"
#include "window/PictureArea.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs events until the status line counts segments (or shapes) again and the view is drawn.
void waitUntilShown(QLabel* facts, kelviq::PictureArea* area)
{
    while (!facts->text().endsWith(QLatin1String("segments")) &&
           !facts->text().endsWith(QLatin1String("segment")) &&
           !facts->text().endsWith(QLatin1String("vertices)")))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();
    area->viewport()->repaint();
}

void click(QWidget* viewport, QPoint at)
{
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(at), viewport->mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(at), viewport->mapToGlobal(QPointF(at)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &release);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    if (argc != 2) {
        std::fputs("usage: window_views PICTURE\n", stderr);
        return 2;
    }
    BenchPlatform platform(QString::fromLocal8Bit(argv[1]));
    kelviq::Form1 form(platform);
    form.show();
    QCoreApplication::processEvents();
    auto* area = form.findChild<kelviq::PictureArea*>(QStringLiteral("Picture1"));
    auto* facts = form.findChild<QLabel*>(QStringLiteral("StatusFacts"));
    auto* scale = form.findChild<QLineEdit*>(QStringLiteral("Text1"));

    QElapsedTimer timer;
    timer.start();
    form.Command2_Click();
    waitUntilShown(facts, area);
    const double load = timer.nsecsElapsed() / 1e9;
    if (form.FileName().isEmpty())
        return 1;

    // The whole picture in view, and two places on it of different colours.
    form.findChild<QAction*>(QStringLiteral("viewTraced"))->trigger();
    const auto colorAt = [area](QPoint at) {
        const QPoint pixel = area->areaPosition(QPointF(at));
        return area->Point(pixel.x(), pixel.y());
    };
    const QPoint first(1, 1);
    QPoint second = first;
    // Fine patterns can look all one colour reduced: then at actual size.
    for (const char* zoom : {"fitInWindow", "actualSize"}) {
        form.findChild<QAction*>(QLatin1String(zoom))->trigger();
        const QSize visible = area->viewport()->size();
        for (int y = 1; y < visible.height() && second == first; y += 3)
            for (int x = 1; x < visible.width() && second == first; ++x)
                if (colorAt(QPoint(x, y)) != colorAt(first))
                    second = QPoint(x, y);
        if (second != first)
            break;
    }
    if (second == first)
        return 1;

    std::vector<double> picks;
    std::vector<double> handlers;
    for (int i = 0; i < 6; ++i) {
        timer.restart();
        click(area->viewport(), i % 2 ? first : second);
        handlers.push_back(timer.nsecsElapsed() / 1e9);
        waitUntilShown(facts, area);
        picks.push_back(timer.nsecsElapsed() / 1e9);
    }

    form.findChild<QAction*>(QStringLiteral("viewPlot"))->trigger();
    auto* tolerance = form.findChild<QSpinBox*>(QStringLiteral("tolerance"));
    std::vector<double> tolerances;
    for (int i = 0; i < 5; ++i) {
        timer.restart();
        tolerance->setValue(1 - i % 2);
        waitUntilShown(facts, area);
        tolerances.push_back(timer.nsecsElapsed() / 1e9);
    }
    std::vector<double> scales;
    for (int i = 0; i < 5; ++i) {
        timer.restart();
        scale->setText(QString::number(1 + i % 2 * 2));
        waitUntilShown(facts, area);
        scales.push_back(timer.nsecsElapsed() / 1e9);
    }
    form.findChild<QAction*>(QStringLiteral("viewOutline"))->trigger();
    form.findChild<QAction*>(QStringLiteral("filledOutlines"))->trigger();
    waitUntilShown(facts, area);
    std::vector<double> outlines;
    for (int i = 0; i < 5; ++i) {
        timer.restart();
        click(area->viewport(), i % 2 ? first : second);
        waitUntilShown(facts, area);
        outlines.push_back(timer.nsecsElapsed() / 1e9);
    }
    picks.erase(picks.begin()); // the first pick may wait for the load's own trace
    handlers.erase(handlers.begin());
    std::printf("%.4f %.4f %.4f %.4f %.4f %.4f\n", load, median(picks), median(handlers),
                median(tolerances), median(scales), median(outlines));
    return 0;
}
