#include "FormFixture.h"
#include "PictureArea.h"
#include "RecordingPlatform.h"
#include "TestFiles.h"
#include "ViewRenderer.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

using namespace kelviq;
using namespace testfiles;

namespace {

// Every pixel its own colour: red is the column, green the row.
QImage numbered(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x, y, 0x80));
    return image;
}

ColorValue numberedColor(int x, int y)
{
    return colorValueFromRgb(qRgb(x, y, 0x80));
}

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
    if (format == QImage::Format_RGB32)
        return image;
    return image.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither);
}

// The runs of exactly this colour in each row.
QList<QList<QPair<int, int>>> runsOf(const QImage& image, QRgb color)
{
    QList<QList<QPair<int, int>>> rows(image.height());
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width();) {
            int end = x;
            while (end < image.width() && image.pixel(end, y) == color)
                ++end;
            if (end > x)
                rows[y].append({x, end});
            x = std::max(end, x + 1);
        }
    }
    return rows;
}

bool convert(const QStringList& arguments)
{
    QProcess converter;
    converter.start(QStringLiteral(KELVIQ_CONVERT_EXE), arguments);
    if (converter.waitForFinished(30000) && converter.exitCode() == 0)
        return true;
    qWarning("kelviq-convert: %s", converter.readAllStandardError().constData());
    return false;
}

} // namespace

class TestForm1Views : public QObject, protected FormFixture
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void picksThePixelUnderThePointer_data();
    void picksThePixelUnderThePointer();
    void zoomKeysAndWheel();
    void writesWhatTheConverterWrites_data();
    void writesWhatTheConverterWrites();
    void plotViewDrawsTheLines_data();
    void plotViewDrawsTheLines();
    void statusTexts_data();
    void statusTexts();
    void setPlotSize_data();
    void setPlotSize();
    void droppedAndGivenPicturesLoadLikeChosenOnes();
    void keyboard();

private:
    // Waits until the background trace has counted the segments; returns the count.
    qint64 countedSegments();
};

void TestForm1Views::init()
{
    start();
}

void TestForm1Views::cleanup()
{
    stop();
}

qint64 TestForm1Views::countedSegments()
{
    const QRegularExpression count(QStringLiteral("(\\d+) segments?$"));
    QRegularExpressionMatch match;
    [&] { QTRY_VERIFY((match = count.match(status("StatusFacts"))).hasMatch()); }();
    return match.captured(1).toLongLong();
}

void TestForm1Views::picksThePixelUnderThePointer_data()
{
    QTest::addColumn<QString>("view");
    QTest::addColumn<int>("zoomIns"); // Ctrl++ presses; negative: Ctrl+-

    for (const char* view : {"viewPicture", "viewTraced", "viewPlot"}) {
        for (int zoomIns : {-2, 0, 3}) {
            QTest::addRow("%s, zoom 2^%d", view, zoomIns) << QString(view) << zoomIns;
        }
    }
}

// The pixel under the pointer, also in its last shown pixel, and always the picture's colour.
void TestForm1Views::picksThePixelUnderThePointer()
{
    QFETCH(QString, view);
    QFETCH(int, zoomIns);

    choose(savePicture("numbered.bmp", numbered(64, 48)));
    m_form->findChild<QAction*>(view)->trigger();
    for (int i = 0; i < std::abs(zoomIns); ++i)
        trigger(zoomIns > 0 ? "zoomIn" : "zoomOut");
    const double zoom = std::ldexp(1.0, zoomIns);
    QCOMPARE(picture1()->zoom(), zoom);
    // The area fits the shown picture, so nothing scrolls.
    QCOMPARE(picture1()->size(), QSize(int(std::ceil(64 * zoom)), int(std::ceil(48 * zoom))));

    QWidget* viewport = picture1()->viewport();
    for (const QPoint pixel : {QPoint(5, 5), QPoint(20, 9), QPoint(63, 47)}) {
        // The bottom-right shown pixel of this picture pixel (or the one shown pixel that
        // stands for several).
        const int step = std::max(1, int(zoom));
        const QPoint at = zoom >= 1 ? pixel * step + QPoint(step - 1, step - 1)
                                    : QPoint(int(pixel.x() * zoom), int(pixel.y() * zoom));
        const QPoint picked = zoom >= 1 ? pixel : QPoint(at.x() * 4, at.y() * 4);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
        QCOMPARE(swatch(), numberedColor(picked.x(), picked.y()));
    }
}

void TestForm1Views::zoomKeysAndWheel()
{
    choose(savePicture("numbered.bmp", numbered(64, 48)));
    const auto key = [&](Qt::Key k) { QTest::keyClick(m_form.get(), k, Qt::ControlModifier); };
    key(Qt::Key_Equal);
    key(Qt::Key_Plus);
    QCOMPARE(picture1()->zoomStep(), 2);
    for (int i = 0; i < 12; ++i)
        key(Qt::Key_Minus);
    QCOMPARE(picture1()->zoomStep(), PictureArea::SmallestZoomStep);
    key(Qt::Key_0);
    QCOMPARE(picture1()->zoomStep(), 0);
    for (int i = 0; i < 12; ++i)
        key(Qt::Key_Plus);
    QCOMPARE(picture1()->zoomStep(), PictureArea::LargestZoomStep);
    trigger("fitInWindow"); // 1000 × 630 of room: 64 × 8 and 48 × 8 fit, × 16 not
    QCOMPARE(picture1()->zoomStep(), 3);
    key(Qt::Key_2);
    QVERIFY(m_form->findChild<QAction*>("viewTraced")->isChecked());
    QVERIFY(!m_form->findChild<QAction*>("viewPicture")->isChecked());

    // Ctrl and the wheel zoom around the pointer: the pixel under it stays under it.
    QWidget* viewport = picture1()->viewport();
    const QPoint at(17, 9); // pixel (2, 1) at 8×
    QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, 120}, Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport, &wheel);
    QCOMPARE(picture1()->zoomStep(), 4);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, at);
    QCOMPARE(swatch(), numberedColor(2, 1));
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

// The highlighted pixels, read off the screen, and the count give exactly the converter's plot
// for the same settings; "3 - Make out.plt" and each Export item write what the converter writes
// in that format.
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
    QTest::mouseClick(picture1()->viewport(), Qt::LeftButton, {}, QPoint(3, 2));
    for (const char* name : {"tolerance", "specks"}) {
        auto* box = m_form->findChild<QSpinBox*>(name);
        box->selectAll();
        QTest::keyClicks(box, QString::number(name[0] == 't' ? tolerance : specks));
    }
    if (invert)
        QTest::mouseClick(m_form->findChild<QCheckBox*>("invert"), Qt::LeftButton);
    const qint64 counted = countedSegments();
    trigger("viewTraced");
    button("Command3")->setFocus(); // no focus frame over the picture
    const QImage shown = picture1()->viewport()->grab().toImage();
    const QRgb highlight = ViewRenderer::highlightFor(swatch());

    QByteArray fromScreen = PlotHeader;
    qint64 runs = 0;
    const int last = image.width() - 1;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width();) {
            if (shown.pixel(x, y) != highlight) {
                QCOMPARE(shown.pixel(x, y), ViewRenderer::washedOut(image.pixel(x, y)));
                ++x;
                continue;
            }
            int end = x;
            while (end < image.width() && shown.pixel(end, y) == highlight)
                ++end;
            const QByteArray rowY = QByteArray::number((image.height() - 1 - y) * 200);
            fromScreen += "259\r\n750 2\r\n" + QByteArray::number(x * 200) + ' ' + rowY + ' ' +
                          QByteArray::number(std::min(end, last) * 200) + ' ' + rowY + "\r\n";
            ++runs;
            x = end;
        }
    }
    QVERIFY(runs > 10);
    QCOMPARE(counted, runs);

    // The converter with the same settings, and without each of them: every one counts.
    QList<QStringList> settings;
    if (tolerance > 0)
        settings.append({"--tolerance", QString::number(tolerance)});
    if (specks > 0)
        settings.append({"--despeckle", QString::number(specks)});
    if (invert)
        settings.append({"--invert"});
    const auto options = [&](qsizetype without) {
        QStringList arguments = {"--pick", "3,2", "--thickness", "7.5"};
        for (qsizetype i = 0; i < settings.size(); ++i)
            arguments += i == without ? QStringList() : settings[i];
        return arguments;
    };
    const QString converted = elsewhere.filePath("plot.plt");
    for (qsizetype without = settings.size(); without >= 0; --without) {
        QVERIFY(convert(options(without) + QStringList{"--output", converted, path}));
        QVERIFY2((readFile(converted) == fromScreen) == (without == settings.size()),
                 qPrintable(options(without).join(" ")));
    }

    QString written = m_dir->filePath("out.plt");
    if (plot == "ipf") {
        QTest::mouseClick(button("Command1"), Qt::LeftButton);
    } else {
        const QString item = "export" + plot.left(1).toUpper() + plot.mid(1);
        trigger(item); // cancelled: nothing is written
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"blotches.bmp"}));
        // Beside the picture, named after it.
        written =
            m_dir->filePath("blotches." + m_platform->saveRequests.constFirst().defaultSuffix);
        QCOMPARE(m_platform->saveRequests.constFirst().path, written);
        m_platform->setNextSaveFileAnswer(written);
        trigger(item);
    }
    const QString expected = elsewhere.filePath(QFileInfo(written).fileName());
    QVERIFY(convert(options(-1) + QStringList{"--format", plot, "--output", expected, path}));
    QCOMPARE(readFile(written), readFile(expected));
    QCOMPARE(m_platform->beeps, 1);
    QCOMPARE(status("StatusRun"),
             QString("%1 segments written to %2 (%3)")
                 .arg(runs)
                 .arg(written)
                 .arg(QLocale::c().formattedDataSize(QFileInfo(written).size(), 1,
                                                     QLocale::DataSizeSIFormat)));
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
    trigger("viewPlot");
    for (int i = 0; i < std::abs(zoomIns); ++i)
        trigger(zoomIns > 0 ? "zoomIn" : "zoomOut");
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

void TestForm1Views::statusTexts_data()
{
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("thickness");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("advice");
    QTest::addColumn<QString>("run"); // how the status line starts to tell of a run

    const QString written = "1 segment written to ";
    QTest::newRow("gaps") << "2"
                          << "1.5"
                          << "plot 1000 × 500 mils (25.4 × 12.7 mm)"
                          << "Gaps of 0.5 mils between rows: lines thinner than the pixel pitch"
                             "   Thinner than 5 mils (0.127 mm): finer than many board makers "
                             "print on silkscreen"
                          << written;
    QTest::newRow("matching") << "6"
                              << "6"
                              << "plot 3000 × 1500 mils (76.2 × 38.1 mm)"
                              << "" << written;
    QTest::newRow("fraction") << "0.1"
                              << "5"
                              << "plot 50 × 25 mils (1.27 × 0.635 mm)"
                              << "Rows 4.9 mils taller than their pixels: the artwork grows 2.45 "
                                 "mils at top and bottom"
                              << written;
    QTest::newRow("not numbers") << "2,5"
                                 << "x"
                                 << "scale \"2,5\" is not a number"
                                 << "thickness \"x\" is not a number"
                                 << "The scale \"2,5\" is not a number. Type the size of one "
                                    "pixel in mils, for example 2 or 0.5.";
}

void TestForm1Views::statusTexts()
{
    QFETCH(QString, scale);
    QFETCH(QString, thickness);
    QFETCH(QString, size);
    QFETCH(QString, advice);
    QFETCH(QString, run);

    QCOMPARE(status("StatusFacts"), QString("No picture   #000000"));
    QImage image(500, 250, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(7, 7, qRgb(0x12, 0xab, 0xef));
    choose(savePicture("wide.bmp", image));
    QTest::mouseClick(picture1()->viewport(), Qt::LeftButton, {}, QPoint(7, 7));
    type("Text1", scale);
    type("Text2", thickness);
    QCOMPARE(countedSegments(), 1);
    QCOMPARE(status("StatusFacts"), "500 × 250 pixels   " + size + "   #12ABEF   1 segment");
    QCOMPARE(status("StatusAdvice"), advice);
    QCOMPARE(m_form->findChild<ColorSwatch*>("Shape1")->toolTip(), QString("#12ABEF"));
    QTest::mouseClick(m_form->findChild<QPushButton*>("Command1"), Qt::LeftButton);
    QVERIFY2(status("StatusRun").startsWith(run), qPrintable(status("StatusRun")));
}

void TestForm1Views::setPlotSize_data()
{
    QTest::addColumn<QSize>("picture");
    QTest::addColumn<int>("side");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("scale"); // empty: the box keeps "2"
    QTest::addColumn<QString>("start"); // the width in mm the dialog starts from

    QTest::newRow("25 mm wide") << QSize(500, 40) << int(PlotSide::Width) << "25mm"
                                << "1.96850393700787"
                                << "25.4";
    QTest::newRow("1 in high") << QSize(30, 200) << int(PlotSide::Height) << "1in"
                               << "5"
                               << "1.524";
    QTest::newRow("cancelled") << QSize(30, 20) << -1 << ""
                               << ""
                               << "1.524";
}

void TestForm1Views::setPlotSize()
{
    QFETCH(QSize, picture);
    QFETCH(int, side);
    QFETCH(QString, length);
    QFETCH(QString, scale);
    QFETCH(QString, start);

    QImage image(picture, QImage::Format_RGB32);
    image.fill(Qt::white);
    choose(savePicture("sized.bmp", image));
    if (side >= 0)
        m_platform->setNextPlotSizeAnswer(PlotSizeAnswer{PlotSide(side), length});
    trigger("setPlotSize");

    QCOMPARE(m_platform->plotSizeRequests.size(), 1);
    const PlotSizeRequest request = m_platform->plotSizeRequests.first();
    // It starts from the plot's width now, and tells the scale an answer gives.
    QCOMPARE(request.number, start);
    if (side >= 0) {
        QVERIFY(request.acceptable(PlotSide(side), length));
        QVERIFY2(request.describe(PlotSide(side), length).contains(scale + " mils"),
                 qPrintable(request.describe(PlotSide(side), length)));
    }
    QVERIFY(!request.acceptable(PlotSide::Width, "25"));
    QVERIFY(request.describe(PlotSide::Width, "2,5mm").contains("not a number"));

    QCOMPARE(box("Text1")->text(), scale.isEmpty() ? QString("2") : scale);
    QCOMPARE(box("Text1")->cursorPosition(), 0);
}

// A picture dropped on the window or named at start-up goes the dialog's way: the same checks,
// caption and current folder, and the dialog then starts in its folder.
void TestForm1Views::droppedAndGivenPicturesLoadLikeChosenOnes()
{
    const QString first = savePicture("first.bmp", numbered(5, 4));
    const QString second = savePicture("second.bmp", numbered(6, 4));
    QVERIFY(writeFile(m_dir->filePath("bad.bmp"), "not a picture"));

    const auto drop = [&](const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent dropped(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(m_form.get(), &dropped);
    };
    drop(first);
    QCOMPARE(m_form->FileName(), first);
    QCOMPARE(m_form->windowTitle(), "KELVIQ converter - " + first);
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());
    QCOMPARE(picture1()->picture().width(), 5);

    drop(m_dir->filePath("bad.bmp"));
    QCOMPARE(m_platform->messages.size(), 1);
    QVERIFY(m_platform->messages[0].text.contains(m_dir->filePath("bad.bmp")));
    QCOMPARE(m_form->FileName(), first);

    QDir::setCurrent(QDir::tempPath());
    m_form->openFiles({second, first, "third.png"});
    QCOMPARE(m_form->FileName(), second);
    QCOMPARE(QDir::currentPath(), QDir(m_dir->path()).canonicalPath());
    QCOMPARE(status("StatusRun"), "Opened " + second +
                                      "; one picture at a time, so these were ignored: " + first +
                                      ", third.png");

    choose(QString());
    QCOMPARE(m_platform->openRequests.last().directory, m_dir->path());
}

void TestForm1Views::keyboard()
{
    for (const char* name : {"Text1", "Text2"}) {
        QLineEdit* edit = box(name);
        edit->setFocus();
        type(name, "12.7500001");
        QVERIFY(edit->cursorPosition() > 0);
        m_form->findChild<QPushButton*>("Command3")->setFocus();
        QCOMPARE(edit->text(), QString("12.7500001"));
        QCOMPARE(edit->cursorPosition(), 0);
        // The first digit shows at the box's left.
        const QRect cursor = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
        QVERIFY2(cursor.left() < edit->fontMetrics().horizontalAdvance("1"), name);
    }

    // Enter presses the focused button, as Space does.
    QTest::keyClick(button("Command1"), Qt::Key_Return);
    QCOMPARE(m_platform->messages.size(), 1); // no picture chosen
    QVERIFY(m_platform->messages[0].text.startsWith("This program has performed"));
    QTest::keyClick(button("Command2"), Qt::Key_Enter);
    QCOMPARE(m_platform->openRequests.size(), 1);
}

QTEST_MAIN(TestForm1Views)
#include "tst_form1views.moc"
