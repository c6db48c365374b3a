#include "FormFixture.h"
#include "window/ViewRenderer.h"

#include <QLocale>
#include <QMouseEvent>
#include <QProcess>
#include <QRandomGenerator>
#include <QScreen>
#include <QScrollBar>

namespace {

// Random blotches of black, white, red and colours near them, so rows have runs of every
// length, runs that reach the right edge, specks, and pixels a tolerance takes in or leaves out.
QImage blotches(QImage::Format format, quint32 seed, QSize size = QSize(37, 23))
{
    QRandomGenerator random(seed);
    const QRgb colors[] = {qRgb(0, 0, 0),    qRgb(255, 255, 255), qRgb(200, 30, 30),
                           qRgb(25, 30, 20), qRgb(215, 45, 10),   qRgb(235, 240, 228)};
    QImage image(size, QImage::Format_RGB32);
    const int count = format == QImage::Format_Mono ? 2 : 6;
    for (int y = 0; y < image.height(); ++y) {
        int color = random.bounded(count);
        for (int x = 0; x < image.width(); ++x) {
            if (random.bounded(4) == 0)
                color = random.bounded(count);
            image.setPixel(x, y, colors[color]);
        }
    }
    return image.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither);
}

// The runs of pixels of exactly this colour in each row, as first and one-past-last column.
QList<QList<QPair<int, int>>> runsOf(const QImage& image, QRgb color)
{
    QList<QList<QPair<int, int>>> runs(image.height());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) != color)
                continue;
            if (runs[y].isEmpty() || runs[y].last().second < x)
                runs[y].append({x, x});
            runs[y].last().second = x + 1;
        }
    }
    return runs;
}

} // namespace

class TestForm1Views : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init() { start(); }
    void cleanup() { stop(); }

    void picksThePixelUnderThePointer_data();
    void picksThePixelUnderThePointer();
    void zoomDragAndScroll();
    void bigPicturesOpenFitted();
    void focusFrameFollowsTheArea();
    void aToleranceForPhotographedArtwork();
    void wheelZoomKeepsThePointUnderThePointer_data();
    void wheelZoomKeepsThePointUnderThePointer();
    void plotViewDrawsTheLines_data();
    void plotViewDrawsTheLines();
    void writesWhatTheConverterWrites_data();
    void writesWhatTheConverterWrites();
};

void TestForm1Views::picksThePixelUnderThePointer_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<int>("zoomIns"); // negative: zoomed out
    for (const char* view : {"viewPicture", "viewTraced", "viewPlot"}) {
        for (int zoomIns : {-2, 0, 3})
            QTest::newRow(qPrintable(QStringLiteral("%1, zoom 2^%2").arg(view).arg(zoomIns)))
                << QString(view) << zoomIns;
    }
}

// The pixel under the pointer, also in its last shown pixel, and always the picture's colour.
void TestForm1Views::picksThePixelUnderThePointer()
{
    QFETCH(QString, view);
    QFETCH(int, zoomIns);

    const QImage image = numbered(64, 48);
    choose(savePicture("numbered.bmp", image));
    action(qPrintable(view))->trigger();
    for (int i = 0; i < std::abs(zoomIns); ++i)
        action(zoomIns > 0 ? "zoomIn" : "zoomOut")->trigger();
    // The area fits the shown picture, so nothing scrolls.
    const double zoom = std::ldexp(1.0, zoomIns);
    QCOMPARE(picture1()->size(), QSize(int(64 * zoom), int(48 * zoom)));

    for (const QPoint pixel : {QPoint(5, 5), QPoint(20, 9), QPoint(63, 47)}) {
        // Enlarged, the bottom-right shown pixel of it; reduced, the one that stands for it and
        // three more each way.
        const int step = int(zoom);
        const QPoint at = zoom >= 1 ? pixel * step + QPoint(step - 1, step - 1)
                                    : QPoint(pixel.x() / 4, pixel.y() / 4);
        click(at);
        QCOMPARE(swatch(), colorValueFromRgb(image.pixel(zoom >= 1 ? pixel : at * 4)));
    }
}

// Keys and the wheel zoom within 1/16 .. 32, the wheel around the pointer; Fit in Window takes
// the largest zoom that fits. Dragging with a button held picks, moving without one or off the
// area does not; scrolled, the last pixel is picked, and beside the picture the background.
void TestForm1Views::zoomDragAndScroll()
{
    const QImage image = numbered(64, 48);
    choose(savePicture("numbered.bmp", image));
    const auto keys = [&](Qt::Key key, int times) {
        for (int i = 0; i < times; ++i)
            QTest::keyClick(m_form.get(), key, Qt::ControlModifier);
    };
    keys(Qt::Key_Minus, 6);
    QCOMPARE(picture1()->zoom(), PictureArea::SmallestZoom);
    keys(Qt::Key_Equal, 1);
    keys(Qt::Key_Plus, 1);
    QCOMPARE(picture1()->zoom(), 0.25);
    action("fitInWindow")->trigger(); // 1000 × 630 of room: the height sets the factor
    QCOMPARE(picture1()->zoom(), 630.0 / 48);
    QCOMPARE(status("StatusView"), "Picture · 1313 %");

    QWidget* viewport = picture1()->viewport();
    const QPoint at(30, 15); // pixel (2, 1) at 13.125×
    QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, 120}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    QCOMPARE(picture1()->zoom(), 16.0);
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QMouseEvent event(type, QPointF(at), viewport->mapToGlobal(QPointF(at)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::MiddleButton, held, {});
        QApplication::sendEvent(viewport, &event);
    };
    mouse(QEvent::MouseButtonPress, at, Qt::MiddleButton);
    QCOMPARE(swatch(), colorValueFromRgb(image.pixel(2, 1)));
    const ColorValue dragged =
        colorValueFromRgb(image.pixel((100 + picture1()->horizontalScrollBar()->value()) / 16,
                                      (20 + picture1()->verticalScrollBar()->value()) / 16));
    mouse(QEvent::MouseMove, QPoint(100, 20), Qt::MiddleButton);
    QCOMPARE(swatch(), dragged);
    mouse(QEvent::MouseMove, QPoint(-3, 20), Qt::MiddleButton);
    mouse(QEvent::MouseButtonRelease, QPoint(40, 20), Qt::NoButton);
    mouse(QEvent::MouseMove, QPoint(40, 40), Qt::NoButton);
    QCOMPARE(swatch(), dragged);

    for (QScrollBar* bar : {picture1()->horizontalScrollBar(), picture1()->verticalScrollBar()})
        bar->setValue(bar->maximum());
    click(QPoint(viewport->width() - 1, viewport->height() - 1));
    QCOMPARE(swatch(), colorValueFromRgb(image.pixel(63, 47)));
    // The area follows the window past the picture's 1024 shown columns.
    m_form->resize(m_form->size() + QSize(100, 100));
    QTRY_COMPARE(picture1()->width(), 1100);
    click(QPoint(viewport->width() - 1, 0));
    QCOMPARE(swatch(), picture1()->backgroundColor());
}

// A picture larger than the room opens whole, at the largest factor that fits, in the area
// the room gives; Fit in Window takes the same factor. The status line names the view and the
// zoom, and says when a new picture is shown in a view other than the picture itself; a view
// that traces nothing says why.
void TestForm1Views::bigPicturesOpenFitted()
{
    QImage wide(2000, 800, QImage::Format_RGB32);
    wide.fill(Qt::white);
    choose(savePicture("wide.bmp", wide));
    QCOMPARE(picture1()->zoom(), 0.5);
    QCOMPARE(picture1()->geometry(), QRect(8, 8, 1000, 630));
    QVERIFY(m_form->BigPicture());
    QCOMPARE(status("StatusView"), "Picture · 50 %");
    action("zoomIn")->trigger();
    action("fitInWindow")->trigger();
    QCOMPARE(picture1()->zoom(), 0.5);

    action("viewTraced")->trigger();
    QCOMPARE(status("StatusView"), "Traced Pixels · 50 %");
    countedSegments();
    // Nothing of the picked black: the view says so across its top.
    const QColor notice = picture1()->palette().color(QPalette::ToolTipBase);
    QCOMPARE(picture1()->viewport()->grab().toImage().pixelColor(2, 2), notice);
    choose(savePicture("small.bmp", numbered(64, 48)));
    QCOMPARE(picture1()->zoom(), 1.0);
    QCOMPARE(status("StatusView"), "Traced Pixels · 100 %");
    QCOMPARE(status("StatusRun"), "Shown in the Traced Pixels view, as the picture before; "
                                  "Ctrl+1 shows the picture itself.");
}

// The picture area's focus frame is drawn where the area is, and nowhere it was before.
void TestForm1Views::focusFrameFollowsTheArea()
{
    choose(savePicture("small.bmp", numbered(64, 48)));
    picture1()->setFocus();
    QWidget* surface = m_form->findChild<QWidget*>("Form1_client");
    const QRgb frame = surface->palette().color(QPalette::Highlight).rgb();
    for (const char* zoom : {"zoomIn", "zoomIn", "zoomOut", "zoomOut", "zoomOut"}) {
        action(zoom)->trigger();
        // What the window shows, as painted (grab() would paint the surface afresh).
        QCoreApplication::processEvents();
        const QPoint at = surface->mapTo(m_form.get(), QPoint(0, 0));
        const QImage shown =
            m_form->screen()->grabWindow(m_form->winId(), at.x(), at.y(), 600, 500).toImage();
        const QRect area = picture1()->geometry();
        const QRect outer = area.adjusted(-2, -2, 2, 2);
        for (int y = 0; y < shown.height(); ++y) {
            for (int x = 0; x < shown.width(); ++x) {
                const bool onFrame = outer.contains(x, y) && !area.contains(x, y);
                QVERIFY2((shown.pixel(x, y) == frame) == onFrame,
                         qPrintable(QString("%1 at %2, %3").arg(zoom).arg(x).arg(y)));
            }
        }
    }
}

// Dark lettering photographed on white: each dark pixel a little different, so the picked
// one's exact colour is all but alone. The status line suggests a tolerance that takes the
// lettering in, and says no more once one is set.
void TestForm1Views::aToleranceForPhotographedArtwork()
{
    QRandomGenerator random(11);
    QImage photo(240, 120, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        for (int x = 0; x < photo.width(); ++x) {
            const bool ink = (x / 20) % 2 == 0 && y > 30 && y < 90;
            const int base = ink ? 0 : 225;
            photo.setPixel(x, y,
                           qRgb(base + random.bounded(31), base + random.bounded(31),
                                base + random.bounded(31)));
        }
    }
    choose(savePicture("photo.bmp", photo));
    click(QPoint(10, 60));
    const qint64 exact = countedSegments();
    static const QRegularExpression hint(QStringLiteral("try Tolerance (\\d+)\\."));
    QRegularExpressionMatch match;
    QTRY_VERIFY2((match = hint.match(status("StatusAdvice"))).hasMatch(),
                 qPrintable(status("StatusAdvice")));
    QVERIFY(status("StatusAdvice")
                .startsWith("Few pixels are exactly " + ColorSwatch::colorName(swatch())));
    // It takes in every dark pixel: six blocks on each of 59 rows, and no more.
    type("tolerance", match.captured(1));
    QCOMPARE(countedSegments(), 6 * 59);
    QVERIFY(exact < 6 * 59);
    QVERIFY(!status("StatusAdvice").contains("Tolerance"));
}

void TestForm1Views::wheelZoomKeepsThePointUnderThePointer_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 24; ++seed)
        QTest::newRow(qPrintable(QString("case %1").arg(seed))) << seed;
}

// From any zoom and scroll position, with the pointer anywhere, each Ctrl+wheel notch keeps
// the picture point under the pointer there — to a picture pixel, or to the shown pixel where
// one stands for several — and never drifts over several notches; only where the picture's
// edge forces it does the view stop short, as near as the edge allows.
void TestForm1Views::wheelZoomKeepsThePointUnderThePointer()
{
    QFETCH(quint32, seed);
    choose(savePicture("large.bmp", numbered(1500, 1000)));
    QVERIFY(picture1()->zoom() < 1); // opened fitted
    QRandomGenerator random(seed);
    for (int i = random.bounded(6); i > 0; --i)
        action("zoomIn")->trigger();
    QWidget* viewport = picture1()->viewport();
    QScrollBar* bars[] = {picture1()->horizontalScrollBar(), picture1()->verticalScrollBar()};
    for (QScrollBar* bar : bars)
        bar->setValue(random.bounded(bar->maximum() + 1));
    const QPointF pointer(random.bounded(viewport->width()), random.bounded(viewport->height()));
    const auto offset = [&] { return QPointF(bars[0]->value(), bars[1]->value()); };
    const QPointF point = (pointer + offset()) / picture1()->zoom();

    for (int notch = 0; notch < 8; ++notch) {
        QWheelEvent wheel(pointer, viewport->mapToGlobal(pointer), {},
                          {0, random.bounded(2) ? 120 : -120}, Qt::NoButton, Qt::ControlModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &wheel);
        const double zoom = picture1()->zoom();
        const QPointF wanted = point * zoom - pointer;
        for (int axis = 0; axis < 2; ++axis) {
            const double want = axis ? wanted.y() : wanted.x();
            const int best = std::clamp(int(std::lround(want)), 0, bars[axis]->maximum());
            QCOMPARE(bars[axis]->value(), best);
            const double under = ((axis ? pointer.y() : pointer.x()) + best) / zoom;
            if (best == std::lround(want)) // not stopped by an edge
                QVERIFY(std::abs(under - (axis ? point.y() : point.x())) <=
                        std::max(0.5, 0.5 / zoom) + 1e-9);
        }
    }
}

void TestForm1Views::plotViewDrawsTheLines_data()
{
    QTest::addColumn<int>("zoomIns");
    QTest::addColumn<double>("thickness");

    QTest::newRow("enlarged, rows merge") << 2 << 6.3;
    QTest::newRow("enlarged, gaps between rows") << 2 << 1.3;
    QTest::newRow("actual size, thick") << 0 << 17.1;
    QTest::newRow("reduced") << -2 << 2.0;
}

// Enlarged, a device pixel is ink where its centre lies within half the thickness of a
// segment: a line through the middle of its row, from the run's first pixel's left edge, as
// long as the segment, with round ends (lines half a device pixel thick at least). Reduced to a
// quarter, a device pixel is ink where one of the 4 x 4 pixels it stands for is traced.
void TestForm1Views::plotViewDrawsTheLines()
{
    QFETCH(int, zoomIns);
    QFETCH(double, thickness);

    const QImage image = blotches(QImage::Format_RGB32, 3, QSize(64, 40));
    choose(savePicture("blotches.bmp", image));
    type("Text2", QString::number(thickness));
    action("viewPlot")->trigger();
    for (int i = 0; i < std::abs(zoomIns); ++i)
        action(zoomIns > 0 ? "zoomIn" : "zoomOut")->trigger();
    countedSegments();
    const QImage shown = picture1()->viewport()->grab().toImage();
    const double zoom = picture1()->zoom();
    QCOMPARE(shown.size(), QSize(int(64 * zoom), int(40 * zoom)));

    const auto runs = runsOf(image, qRgb(0, 0, 0)); // the swatch starts black
    const double half = std::max(thickness / 4.0, 0.5 / zoom);
    for (int j = 0; j < shown.height(); ++j) {
        for (int i = 0; i < shown.width(); ++i) {
            bool ink = false;
            for (int y = 0; y < image.height(); ++y) {
                for (const auto& [begin, end] : runs[y]) {
                    if (zoom < 1) {
                        ink = ink || (y / 4 == j && begin < 4 * i + 4 && end > 4 * i);
                        continue;
                    }
                    const double cx = (i + 0.5) / zoom;
                    const double right = end == image.width() ? end - 1 : end;
                    const double dx = std::max({begin - cx, 0.0, cx - right});
                    const double dy = (j + 0.5) / zoom - (y + 0.5);
                    ink = ink || dx * dx + dy * dy <= half * half;
                }
            }
            QVERIFY2((qGray(shown.pixel(i, j)) < 128) == ink,
                     qPrintable(QString("device pixel %1, %2").arg(i).arg(j)));
        }
    }
}

void TestForm1Views::writesWhatTheConverterWrites_data()
{
    QTest::addColumn<int>("format");
    QTest::addColumn<int>("tolerance");
    QTest::addColumn<int>("specks");
    QTest::addColumn<bool>("invert");
    QTest::addColumn<QString>("plot"); // ipf: "3 - Make out.plt"; else the Export item

    const int rgb = QImage::Format_RGB32;
    const int palette = QImage::Format_Indexed8;
    QTest::newRow("32-bit, defaults") << rgb << 0 << 0 << false << "ipf";
    QTest::newRow("palette, tolerance, specks") << palette << 40 << 9 << false << "ipf";
    QTest::newRow("1-bit, all but this colour")
        << int(QImage::Format_Mono) << 0 << 0 << true << "ipf";
    QTest::newRow("Gerber, all three") << rgb << 30 << 9 << true << "gerber";
    QTest::newRow("KiCad footprint") << palette << 20 << 0 << false << "kicad";
    QTest::newRow("SVG") << rgb << 0 << 2 << false << "svg";
}

// The highlighted pixels, read off the screen, and the count are the converter's segments for
// the same settings; "3 - Make out.plt" and each Export item write what the converter writes in
// that format, and the status line says so.
void TestForm1Views::writesWhatTheConverterWrites()
{
    QFETCH(int, format);
    QFETCH(int, tolerance);
    QFETCH(int, specks);
    QFETCH(bool, invert);
    QFETCH(QString, plot);

    const QImage image = blotches(QImage::Format(format), 7 + format);
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    const QString path = savePicture("blotches.bmp", image);
    choose(path);
    type("Text2", "7.5");
    click(QPoint(3, 2));
    type("tolerance", QString::number(tolerance));
    type("specks", QString::number(specks));
    if (invert)
        QTest::mouseClick(m_form->findChild<QWidget*>("invert"), Qt::LeftButton);
    const qint64 counted = countedSegments();
    action("viewTraced")->trigger();
    button("Command3")->setFocus(); // no focus frame over the picture
    const QImage shown = picture1()->viewport()->grab().toImage();
    const QRgb highlight = ViewRenderer::highlightFor(swatch());
    QVERIFY(highlight == qRgb(255, 0, 255) || highlight == qRgb(0, 200, 0));
    QStringList segments;
    const auto runs = runsOf(shown, highlight);
    for (int y = 0; y < image.height(); ++y) {
        for (const auto& [begin, end] : runs[y])
            segments << QString("%1 %2 %3 %2")
                            .arg(begin * 200)
                            .arg((image.height() - 1 - y) * 200)
                            .arg(std::min(end, image.width() - 1) * 200);
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y); // the rest washed out halfway to white
            if (shown.pixel(x, y) != highlight)
                QCOMPARE(shown.pixel(x, y),
                         qRgb((qRed(c) + 255) / 2, (qGreen(c) + 255) / 2, (qBlue(c) + 255) / 2));
        }
    }
    QVERIFY(segments.size() > 10);
    QCOMPARE(counted, segments.size());

    const QStringList options = QString("--pick 3,2 --thickness 7.5 --tolerance %1 --despeckle %2")
                                    .arg(tolerance)
                                    .arg(specks)
                                    .split(' ') +
                                QStringList(invert ? "--invert" : "--quiet");
    const auto convert = [&](const QString& format, const QString& name) {
        const QString output = elsewhere.filePath(name);
        QProcess converter;
        converter.start(KELVIQ_CONVERT_EXE,
                        options + QStringList{"--format", format, "--output", output, path});
        const bool ok = converter.waitForFinished(30000) && converter.exitCode() == 0;
        return ok ? readFile(output) : converter.readAllStandardError();
    };
    static const QRegularExpression segment(QStringLiteral("^\\d+ \\d+ \\d+ \\d+$"));
    QCOMPARE(QString(convert("ipf", "out.plt")).split("\r\n").filter(segment), segments);

    QString written = m_dir->filePath("out.plt");
    if (plot == "ipf") {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
    } else {
        const QString item = "export" + plot.left(1).toUpper() + plot.mid(1);
        action(qPrintable(item))->trigger(); // cancelled: nothing is written
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"blotches.bmp"}));
        // Beside the picture, named after it.
        written =
            m_dir->filePath("blotches." + m_platform->saveRequests.constFirst().defaultSuffix);
        QCOMPARE(m_platform->saveRequests.constFirst().path, written);
        m_platform->setNextSaveFileAnswer(written);
        action(qPrintable(item))->trigger();
    }
    QCOMPARE(readFile(written), convert(plot, QFileInfo(written).fileName()));
    QCOMPARE(m_platform->beeps, 1);
    QCOMPARE(status("StatusRun"),
             QString("%1 segments written to %2 (%3).")
                 .arg(segments.size())
                 .arg(written)
                 .arg(QLocale::c().formattedDataSize(QFileInfo(written).size(), 1,
                                                     QLocale::DataSizeSIFormat)));
}

QTEST_MAIN(TestForm1Views)
#include "tst_form1views.moc"
