#include "BmpRowSource.h"
#include "ConversionRun.h"
#include "FakeFrontEnd.h"
#include "RecordingPlatform.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <random>
#include <unistd.h>

using namespace kelviq;
using namespace testfiles;

namespace {

// Zero is written "0", never "-0" (a negative scale gives -0 in the first column).
QByteArray g15(double v)
{
    if (v == 0.0)
        return "0";
    char text[64];
    std::snprintf(text, sizeof text, "%.15g", v);
    return text;
}

// The plot file as the scan loop reads literally: a start test and an end test per pixel,
// the end test also firing on the last column. Written without any of the program's code.
QByteArray literalPlot(const QImage& image, QRgb target, double scale, double thickness)
{
    QByteArray out = PlotHeader;
    const int w = image.width();
    const int h = image.height();
    const QByteArray widthLine = g15(thickness * 100) + " 2\r\n";
    for (int y = 0; y < h; ++y) {
        bool inRun = false;
        for (int x = 0; x < w; ++x) {
            const double Y = ((h - 1 - y) * scale) * 100;
            if (!inRun && (image.pixel(x, y) & 0xffffff) == (target & 0xffffff)) {
                inRun = true;
                out += "259\r\n" + widthLine + g15((x * scale) * 100) + ' ' + g15(Y);
            }
            if (inRun && ((image.pixel(x, y) & 0xffffff) != (target & 0xffffff) || x == w - 1)) {
                inRun = false;
                out += ' ' + g15((x * scale) * 100) + ' ' + g15(Y) + "\r\n";
            }
        }
    }
    return out;
}

// Runs in a fresh folder, as the window does once the picture's folder is current.
struct Workspace
{
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    Workspace() { QDir::setCurrent(dir.path()); }
    ~Workspace() { QDir::setCurrent(previous); }
    QString path(const QString& name) const { return dir.filePath(name); }
    QStringList entries() const
    {
        return QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries);
    }
};

QImage workedExample()
{
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setPixel(0, 0, qRgb(0, 0, 0));
    image.setPixel(1, 0, qRgb(0, 0, 0));
    image.setPixel(2, 1, qRgb(0, 0, 0));
    return image;
}

} // namespace

class TestConversionRun : public QObject
{
    Q_OBJECT

private slots:
    void workedExample();
    void matchesTheLiteralScan_data();
    void matchesTheLiteralScan();
    void noPictureChosenTouchesNothing();
    void busyPicturesAndButtonFollowTheRows();
    void badSettingsAreRefusedBeforeAnything_data();
    void badSettingsAreRefusedBeforeAnything();
    void changesDuringTheRun();
    void unwritableOutputIsReportedAndRestoresControls_data();
    void unwritableOutputIsReportedAndRestoresControls();
    void failedPictureReadStopsTheScanAtOnce();
};

void TestConversionRun::workedExample()
{
    Workspace ws;
    // A longer previous plot: the new one replaces it instead of writing over its start.
    QVERIFY(writeFile(ws.path("out.plt"), QByteArray(100000, 'x')));
    FakeFrontEnd frontEnd;
    frontEnd.image = ::workedExample();
    RecordingPlatform platform;
    const RunResult result = ConversionRun(frontEnd, platform).Command1_Click();
    QCOMPARE(result.outcome, RunOutcome::Written);
    QCOMPARE(result.segments, 2);
    QCOMPARE(result.outputPath, ws.path("out.plt"));
    QCOMPARE(readFile(ws.path("out.plt")),
             PlotHeader + "259\r\n1000 2\r\n0 200 400 200\r\n259\r\n1000 2\r\n400 0 400 0\r\n");
    QCOMPARE(platform.beeps, 1);
    QVERIFY(platform.messages.isEmpty());
    QCOMPARE(ws.entries(), QStringList{"out.plt"});
}

void TestConversionRun::matchesTheLiteralScan_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("fromFile"); // read row by row from a bitmap file, as the converter does
    QTest::addColumn<QString>("scale");
    QTest::addColumn<double>("scaleValue");
    QTest::addColumn<QString>("thickness");
    QTest::addColumn<double>("thicknessValue");
    QTest::newRow("32-bit, defaults")
        << QImage::Format_RGB32 << false << "2" << 2.0 << "10" << 10.0;
    QTest::newRow("palette, scale 0.1")
        << QImage::Format_Indexed8 << false << "0.1" << 0.1 << "7.5" << 7.5;
    QTest::newRow("1-bit, scale 0.015")
        << QImage::Format_Mono << false << "0.015" << 0.015 << "0" << 0.0;
    QTest::newRow("1-bit, scale 1") << QImage::Format_Mono << false << " 1 " << 1.0 << "+3" << 3.0;
    QTest::newRow("palette, third")
        << QImage::Format_Indexed8 << false << "0.333" << 0.333 << ".5" << 0.5;
    QTest::newRow("32-bit, large numbers") << QImage::Format_RGB32 << false << "123456.789"
                                           << 123456.789 << "98765.4321" << 98765.4321;
    QTest::newRow("24-bit file, negative scale")
        << QImage::Format_RGB32 << true << "-2" << -2.0 << "0.015" << 0.015;
    QTest::newRow("8-bit file") << QImage::Format_Indexed8 << true << "7.25" << 7.25 << "10"
                                << 10.0;
    QTest::newRow("1-bit file") << QImage::Format_Mono << true << "2" << 2.0 << "10" << 10.0;
    QTest::newRow("14 significant digits")
        << QImage::Format_RGB32 << false << "3.9370078740157" << 3.9370078740157 << "10" << 10.0;
}

// Many random pictures: the file must be exactly what the literal per-pixel reading gives.
void TestConversionRun::matchesTheLiteralScan()
{
    QFETCH(QImage::Format, format);
    QFETCH(bool, fromFile);
    QFETCH(QString, scale);
    QFETCH(double, scaleValue);
    QFETCH(QString, thickness);
    QFETCH(double, thicknessValue);
    Workspace ws;
    std::mt19937 random(1234);
    QList<QRgb> colors = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 1), qRgb(1, 0, 0)};
    for (int round = 0; round < 150; ++round) {
        // Wide rows cross many 64-pixel words of the fast paths.
        const int width = 1 + static_cast<int>(random() % (round % 5 == 0 ? 700 : 9));
        const int height = 1 + static_cast<int>(random() % 7);
        QImage image(width, height, format);
        const int colorCount = format == QImage::Format_Mono ? 2 : 4;
        if (format != QImage::Format_RGB32)
            image.setColorTable(colors.mid(0, colorCount));
        std::shuffle(colors.begin(), colors.end(), random);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                const int index = static_cast<int>(random() % colorCount);
                if (format == QImage::Format_RGB32)
                    image.setPixel(x, y, colors[index]);
                else
                    image.setPixel(x, y, static_cast<uint>(index));
            }
        const QRgb target = colors[random() % 3];
        FakeFrontEnd frontEnd;
        frontEnd.image = image;
        if (fromFile) {
            QVERIFY(image.save(ws.path("picture.bmp"), "BMP"));
            frontEnd.raster = Raster::fromRows(BmpRowSource::open(ws.path("picture.bmp")));
            QVERIFY(!frontEnd.raster.isNull());
        }
        frontEnd.target = colorValueFromRgb(target);
        frontEnd.scale = scale;
        frontEnd.thickness = thickness;
        RecordingPlatform platform;
        QCOMPARE(ConversionRun(frontEnd, platform).Command1_Click().outcome, RunOutcome::Written);
        QCOMPARE(readFile(ws.path("out.plt")),
                 literalPlot(image.convertToFormat(QImage::Format_RGB32), target, scaleValue,
                             thicknessValue));
    }
}

void TestConversionRun::noPictureChosenTouchesNothing()
{
    Workspace ws;
    QVERIFY(writeFile(ws.path("out.plt"), "old plot"));
    FakeFrontEnd frontEnd;
    frontEnd.file.clear();
    frontEnd.image = ::workedExample();
    RecordingPlatform platform;
    QCOMPARE(ConversionRun(frontEnd, platform).Command1_Click().outcome, RunOutcome::NoPicture);
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text,
             QStringLiteral("This program has performed an illegal operation \r"
                            "and it will be traced by Quorvane.\r\r"
                            "If you persist in not selecting a BMP file \r"
                            "you wont get your out.plt file made."));
    QCOMPARE(platform.messages[0].title, QStringLiteral("KELVIQ"));
    QCOMPARE(platform.messages[0].icon, MessageIcon::Critical);
    QVERIFY(frontEnd.calls.isEmpty());
    QCOMPARE(platform.calls, QStringList{"message"});
    QCOMPARE(readFile(ws.path("out.plt")), QByteArray("old plot"));
}

void TestConversionRun::busyPicturesAndButtonFollowTheRows()
{
    Workspace ws;
    QStringList log;
    FakeFrontEnd frontEnd;
    frontEnd.log = &log;
    frontEnd.image = QImage(7, 130, QImage::Format_RGB32);
    frontEnd.image.fill(Qt::black);
    RecordingPlatform platform;
    platform.setOnProcessEvents([&](int) { log.append(QStringLiteral("events")); });
    QCOMPARE(ConversionRun(frontEnd, platform).Command1_Click().outcome, RunOutcome::Written);

    QStringList expected{"Command1 hide"};
    for (int y = 0; y < 130; ++y) {
        if (y == 31 || y == 95)
            expected << "Image1(0) hide"
                     << "Image1(1) show";
        if (y == 63 || y == 127)
            expected << "Image1(0) show"
                     << "Image1(1) hide";
        expected << "events";
    }
    expected << "Image1(0) hide"
             << "Image1(1) hide"
             << "Command1 show";
    QCOMPARE(log, expected);
    QCOMPARE(platform.eventPasses, 130);
    QCOMPARE(platform.calls.last(), QStringLiteral("beep"));
}

void TestConversionRun::badSettingsAreRefusedBeforeAnything_data()
{
    QTest::addColumn<int>("rows"); // of a picture three pixels wide
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("thickness");
    QTest::addColumn<QString>("message");
    const QString huge = "1" + QString(307, '0');
    const QString tooLarge = " is too large for this picture: its plot coordinates would not "
                             "be numbers.";
    QTest::newRow("scale not a number")
        << 2 << "abc"
        << "10"
        << "The scale \"abc\" is not a number.\rType the size of one pixel in "
           "mils, for example 2 or 0.5.";
    QTest::newRow("thickness not a number")
        << 2 << "2"
        << "ten"
        << "The line thickness \"ten\" is not a number.\rType the thickness in "
           "mils, for example 10 or 7.5.";
    QTest::newRow("thickness too large") << 2 << "2" << huge + "0"
                                         << "The line thickness \"" + huge + "0\" is too large.";
    QTest::newRow("scale too large to hold")
        << 2 << QString(400, '4') << "10"
        << "The scale \"" + QString(400, '4') + "\" is too large.";
    QTest::newRow("scale overflows the rows") << 2 << huge << "10"
                                              << "The scale \"" + huge + '"' + tooLarge;
    QTest::newRow("one row: scale overflows the columns") << 1 << huge << "10"
                                                          << "The scale \"" + huge + '"' + tooLarge;
}

void TestConversionRun::badSettingsAreRefusedBeforeAnything()
{
    QFETCH(int, rows);
    QFETCH(QString, scale);
    QFETCH(QString, thickness);
    QFETCH(QString, message);
    Workspace ws;
    QVERIFY(writeFile(ws.path("out.plt"), "old plot"));
    FakeFrontEnd frontEnd;
    frontEnd.image = QImage(3, rows, QImage::Format_RGB32);
    frontEnd.image.fill(Qt::black);
    frontEnd.scale = scale;
    frontEnd.thickness = thickness;
    RecordingPlatform platform;
    const RunResult result = ConversionRun(frontEnd, platform).Command1_Click();
    QCOMPARE(result.outcome, RunOutcome::BadSetting);
    QCOMPARE(platform.messages.size(), 1);
    QCOMPARE(platform.messages[0].text, message);
    QCOMPARE(platform.messages[0].icon, MessageIcon::Critical);
    QVERIFY(frontEnd.calls.isEmpty());
    QCOMPARE(platform.beeps, 0);
    QCOMPARE(readFile(ws.path("out.plt")), QByteArray("old plot"));
    QCOMPARE(ws.entries(), QStringList{"out.plt"});
}

// Events run between rows: only the thickness box takes effect at once. The picture, the
// colour and the scale stay as they were when the run started.
void TestConversionRun::changesDuringTheRun()
{
    Workspace ws;
    FakeFrontEnd frontEnd;
    frontEnd.image = QImage(2, 4, QImage::Format_RGB32);
    frontEnd.image.fill(Qt::black);
    RecordingPlatform platform;
    // Events before rows 1, 2 and 3: typing in the thickness box while the run goes on.
    platform.setOnProcessEvents([&](int call) {
        if (call == 2) {
            frontEnd.thickness = QStringLiteral("7.5");
            frontEnd.image = QImage(50, 50, QImage::Format_RGB32); // another picture loaded
            frontEnd.image.fill(Qt::white);
            frontEnd.target = 0xffffff;
            frontEnd.scale = QStringLiteral("9");
        }
        if (call == 3)
            frontEnd.thickness = QStringLiteral("7.5x"); // half typed: keep the last good
        if (call == 4)
            frontEnd.thickness = QStringLiteral("");
    });
    QCOMPARE(ConversionRun(frontEnd, platform).Command1_Click().outcome, RunOutcome::Written);
    QCOMPARE(readFile(ws.path("out.plt")), PlotHeader + "259\r\n1000 2\r\n0 600 200 600\r\n"
                                                        "259\r\n750 2\r\n0 400 200 400\r\n"
                                                        "259\r\n750 2\r\n0 200 200 200\r\n"
                                                        "259\r\n750 2\r\n0 0 200 0\r\n");
}

void TestConversionRun::unwritableOutputIsReportedAndRestoresControls_data()
{
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("prepare");
    QTest::addColumn<QString>("reason"); // part of the message, after the path
    QTest::newRow("folder is missing") << "missing/out.plt"
                                       << ""
                                       << "";
    QTest::newRow("read-only folder") << "out.plt"
                                      << "read-only"
                                      << "";
    const QString picture = "it is the picture being converted";
    QTest::newRow("out.plt is the picture") << "out.plt"
                                            << "picture" << picture;
    QTest::newRow("out.plt links to the picture") << "out.plt"
                                                  << "link" << picture;
    QTest::newRow("current folder deleted") << "out.plt"
                                            << "deleted"
                                            << "the current folder no longer exists";
}

// Whatever stands in the way, the user is told where and why, nothing is scanned, and every
// file stays as it was - the picture above all.
void TestConversionRun::unwritableOutputIsReportedAndRestoresControls()
{
    QFETCH(QString, output);
    QFETCH(QString, prepare);
    QFETCH(QString, reason);
    Workspace ws;
    FakeFrontEnd frontEnd;
    frontEnd.image = ::workedExample();
    frontEnd.file = ws.path("picture.bmp");
    QVERIFY(frontEnd.image.save(frontEnd.file, "BMP"));
    QString shownPath = QDir::current().absoluteFilePath(output);
    if (prepare == "picture") {
        frontEnd.file = ws.path("out.plt");
        QVERIFY(frontEnd.image.save(frontEnd.file, "BMP"));
    }
    if (prepare == "link")
        QVERIFY(QFile::link("picture.bmp", ws.path("out.plt")));
    if (prepare == "read-only") {
        if (geteuid() == 0)
            QSKIP("permissions do not bind root");
        QVERIFY(writeFile(ws.path("out.plt"), "old plot"));
        QVERIFY(QFile::setPermissions(ws.dir.path(), QFile::ReadOwner | QFile::ExeOwner));
    }
    if (prepare == "deleted") {
        QVERIFY(QDir(ws.dir.path()).mkdir("gone"));
        QVERIFY(QDir::setCurrent(ws.path("gone")));
        QVERIFY(QDir(ws.dir.path()).rmdir("gone"));
        shownPath = output;
    }
    QMap<QString, QByteArray> before;
    for (const QString& name : ws.entries())
        before.insert(name, readFile(ws.path(name)));

    RecordingPlatform platform;
    ConversionRun run(frontEnd, platform);
    run.setOutputPath(output);
    const RunResult result = run.Command1_Click();
    QFile::setPermissions(ws.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(result.outcome, RunOutcome::OpenFailed);
    QCOMPARE(platform.beeps, 0);
    QCOMPARE(platform.messages.size(), 1);
    const QString text = platform.messages[0].text;
    QVERIFY2(text.startsWith("Cannot create the plot file " + shownPath + ":\r"), qPrintable(text));
    QVERIFY2(text.contains(reason), qPrintable(text));
    QCOMPARE(frontEnd.calls.first(), QStringLiteral("Command1 hide"));
    QCOMPARE(frontEnd.calls.mid(frontEnd.calls.size() - 3),
             (QStringList{"Image1(0) hide", "Image1(1) hide", "Command1 show"}));
    QCOMPARE(platform.eventPasses, 0);     // no scan without a file
    QCOMPARE(ws.entries(), before.keys()); // no temporary file left behind
    for (auto kept = before.cbegin(); kept != before.cend(); ++kept)
        QCOMPARE(readFile(ws.path(kept.key())), kept.value());
}

// A picture read from its file while converting: once a row cannot be read, no further row
// is traced for a plot that will be thrown away.
void TestConversionRun::failedPictureReadStopsTheScanAtOnce()
{
    Workspace ws;
    QImage image(1000, 800, QImage::Format_RGB32); // several blocks of rows in the file
    image.fill(Qt::black);
    QVERIFY(image.save(ws.path("p.bmp"), "BMP"));
    QVERIFY(writeFile(ws.path("out.plt"), "old plot"));
    FakeFrontEnd frontEnd;
    frontEnd.file = ws.path("p.bmp");
    frontEnd.raster = Raster::fromRows(BmpRowSource::open(frontEnd.file));
    QVERIFY(!frontEnd.raster.isNull());
    RecordingPlatform platform;
    platform.setOnProcessEvents([&](int call) {
        if (call == 10)
            QVERIFY(QFile::resize(frontEnd.file, 1000));
    });
    QCOMPARE(ConversionRun(frontEnd, platform).Command1_Click().outcome, RunOutcome::WriteFailed);
    QVERIFY(!frontEnd.raster.readError().isEmpty());
    QVERIFY(frontEnd.rowsDone.size() > 10);
    QCOMPARE(frontEnd.rowAfterFailure, -1);
    QCOMPARE(readFile(ws.path("out.plt")), QByteArray("old plot"));
}

QTEST_GUILESS_MAIN(TestConversionRun)
#include "tst_conversionrun.moc"
