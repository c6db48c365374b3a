// The "3 - Make out.plt" run: the plot it writes, what it shows while it runs, and what it
// refuses or gives up on without losing the previous plot.
#include "picture/PictureLoader.h"
#include "picture/RgbColor.h"
#include "run/ConversionRun.h"
#include "support/FakeFrontEnd.h"
#include "support/LiteralPlot.h"
#include "support/RecordingPlatform.h"

#include <QTest>
#include <random>

using namespace kelviq;
using namespace testfiles;

namespace {

// Four colours, two of them a single bit away from black, so that runs form and end anywhere.
QImage randomPicture(std::mt19937& random, QImage::Format format, int width, int height)
{
    QList<QRgb> colors = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 1), qRgb(1, 0, 0)};
    std::shuffle(colors.begin(), colors.end(), random);
    QImage image(width, height, format);
    const int colorCount = format == QImage::Format_Mono ? 2 : 4;
    if (format != QImage::Format_RGB32)
        image.setColorTable(colors.mid(0, colorCount));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto index = static_cast<int>(random() % colorCount);
            if (format == QImage::Format_RGB32)
                image.setPixel(x, y, colors[index]);
            else
                image.setPixel(x, y, static_cast<uint>(index));
        }
    return image;
}

QImage filled(int width, int height, Qt::GlobalColor color)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

} // namespace

class TestConversionRun : public QObject
{
    Q_OBJECT

private slots:
    void writesTheLiteralPlot_data();
    void writesTheLiteralPlot();
    void busyPicturesAndButtonFollowTheRows();
    void refusedBeforeAnything_data();
    void refusedBeforeAnything();
    void changesDuringTheRun();
    void outputThatIsThePictureIsRefusedBeforeTheScan();
    void pictureFileCutShortStopsTheScanAtOnce();
};

void TestConversionRun::writesTheLiteralPlot_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("fromFile"); // read row by row from a bitmap file, as the converter does
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("thickness");
    QTest::addColumn<QSize>("size"); // empty: several random sizes
    auto row = [](const char* name, QImage::Format format, bool fromFile, const QString& scale,
                  const QString& thickness, QSize size = {}) {
        QTest::newRow(name) << format << fromFile << scale << thickness << size;
    };
    row("32-bit, defaults", QImage::Format_RGB32, false, "2", "10");
    row("palette, scale 0.1", QImage::Format_Indexed8, false, "0.1", "7.5");
    row("1-bit, blanks and signs", QImage::Format_Mono, false, " 0.333 ", "+3");
    row("large numbers", QImage::Format_RGB32, false, "123456.789", "98765.4321");
    row("14 significant digits", QImage::Format_RGB32, false, "3.9370078740157", ".5");
    // The longest number texts: none may be cut or overrun.
    const QString tiny = "0." + QString(300, '0');
    row("tiny numbers in full digits", QImage::Format_Mono, false, tiny + "1", tiny + "5");
    row("24-bit file", QImage::Format_RGB32, true, "3", "0.015");
    row("8-bit file", QImage::Format_Indexed8, true, "7.25", "0");
    row("1-bit file", QImage::Format_Mono, true, "2", "10");
    row("over a megabyte of plot", QImage::Format_RGB32, false, "2", "10", QSize(600, 400));
}

// The whole file is exactly the literal reading, replacing a longer plot from before.
void TestConversionRun::writesTheLiteralPlot()
{
    QFETCH(QImage::Format, format);
    QFETCH(bool, fromFile);
    QFETCH(QString, scale);
    QFETCH(QString, thickness);
    QFETCH(QSize, size);
    CurrentFolder ws;
    std::mt19937 random(1234);
    const int rounds = size.isEmpty() ? 6 : 1;
    for (int round = 0; round < rounds; ++round) {
        QVERIFY(writeFile(ws.path("out.plt"), QByteArray(100000, 'x')));
        // Wide rows cross many 64-pixel words of the fast paths.
        const int width = size.isEmpty() ? 1 + int(random() % (round % 2 ? 9 : 700)) : size.width();
        const int height = size.isEmpty() ? 1 + int(random() % 12) : size.height();
        FakeFrontEnd frontEnd;
        frontEnd.image = randomPicture(random, format, width, height);
        if (fromFile) {
            QVERIFY(frontEnd.image.save(ws.path("picture.bmp"), "BMP"));
            frontEnd.raster = PictureLoader::load(ws.path("picture.bmp"), LoadMode::Stream).raster;
            QVERIFY(!frontEnd.raster.isNull());
        }
        const QRgb target = frontEnd.image.convertToFormat(QImage::Format_RGB32).pixel(0, 0);
        frontEnd.target = colorValueFromRgb(target);
        frontEnd.scale = scale;
        frontEnd.thickness = thickness;
        RecordingPlatform platform;
        const RunResult result = ConversionRun(frontEnd, platform).run();
        QCOMPARE(result.outcome, RunOutcome::Written);
        const QByteArray expected =
            literalPlot(frontEnd.image, target, scale.toDouble(), thickness.toDouble());
        QCOMPARE(readFile(ws.path("out.plt")), expected);
        QCOMPARE(result.segments, qint64(expected.count("259\r\n")));
        QCOMPARE(result.outputPath, ws.path("out.plt"));
        QVERIFY(result.message.isEmpty());
        QVERIFY(platform.messages.isEmpty()); // the window tells, not the run
    }
    QCOMPARE(ws.entries().filter("out"), QStringList{"out.plt"}); // no temporary file left
}

void TestConversionRun::busyPicturesAndButtonFollowTheRows()
{
    CurrentFolder ws;
    QStringList log;
    FakeFrontEnd frontEnd;
    frontEnd.log = &log;
    frontEnd.image = filled(7, 130, Qt::black);
    RecordingPlatform platform;
    platform.setOnProcessEvents([&](int) { log.append(QStringLiteral("events")); });
    QCOMPARE(ConversionRun(frontEnd, platform).run().outcome, RunOutcome::Written);

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
}

void TestConversionRun::refusedBeforeAnything_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("rows"); // of a picture three pixels wide
    QTest::addColumn<QString>("scale");
    QTest::addColumn<QString>("thickness");
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<QString>("message");
    QTest::addColumn<PlotShape>("shape");
    auto row = [](const char* name, int rows, const QString& scale, const QString& thickness,
                  const QString& message, const QString& file = "picture.bmp",
                  PlotFormat format = PlotFormat::Ipf, PlotShape shape = PlotShape::Lines) {
        QTest::newRow(name) << file << rows << scale << thickness << format << message << shape;
    };
    row("no picture chosen", 2, "2", "10",
        "This program has performed an illegal operation \rand it will be traced by Quorvane.\r\r"
        "If you persist in not selecting a BMP file \ryou wont get your out.plt file made.",
        "");
    const QString huge = "1" + QString(307, '0');
    row("scale not a number", 2, "abc", "10",
        "The scale \"abc\" is not a number.\rType the size of one pixel in mils, for example 2 "
        "or 0.5.");
    row("thickness not a number", 2, "2", "ten",
        "The line thickness \"ten\" is not a number.\rType the thickness in mils, for example "
        "10 or 7.5.");
    row("thickness too large to hold", 2, "2", huge + "0",
        "The line thickness \"" + huge + "0\" is too large.");
    row("scale too large to hold", 2, QString(400, '4'), "10",
        "The scale \"" + QString(400, '4') + "\" is too large.");
    // Numbers that cannot make a plot.
    row("scale 0", 2, "0", "10",
        "The scale \"0\" must be more than 0.\rType the size of one pixel in mils, for example "
        "2 or 0.5.");
    row("scale below 0: no mirroring", 2, "-2", "10",
        "The scale \"-2\" must be more than 0.\rType the size of one pixel in mils, for example "
        "2 or 0.5.");
    row("thickness below 0", 2, "2", "-5",
        "The line thickness \"-5\" is negative.\rType the thickness in mils, for example 10 or "
        "7.5.");
    row("thickness past plain digits", 2, "2", QString(300, '9'),
        "The line thickness \"" + QString(300, '9') +
            "\" is too thick for an IPF plot: widths, in hundredths of a mil, are plain digits "
            "only below 10^15 (10^13 mils).\rThe thickest line that fits is 9999990000000 mils.");
    row("zero thickness where the format has no such line", 2, "2", "0",
        "The line thickness \"0\" is too thin for an SVG drawing: a stroke 0 wide paints "
        "nothing.\rType a thickness above 0 mils, for example 10 or 7.5.",
        "picture.bmp", PlotFormat::Svg);
    // Beyond what the format holds for this picture: the largest scale that fits is offered.
    row("rows past plain digits", 2, huge, "10",
        "The scale \"" + huge +
            "\" is too large for an IPF plot: the plot would reach more than 1e+308 mils from its "
            "origin, "
            "but IPF numbers, in hundredths of a mil, are plain digits only below 10^15 (10^13 "
            "mils).\rThe largest scale that fits this picture (3 × 2 pixels) is 4999990000000.");
    row("beyond Gerber's coordinates", 2, "617282500", "10",
        "The scale \"617282500\" is too large for a Gerber file: the plot would reach 1234565 "
        "inches from its origin, but Gerber coordinates (format 3.6) reach only 999.999999 "
        "inches.\rThe largest scale that fits this picture (3 × 2 pixels) is 499999.",
        "picture.bmp", PlotFormat::Gerber);
    row("outlines where the format holds only lines", 2, "2", "10",
        "IPF files hold lines only; filled outlines can be written as Gerber, KiCad Footprint or "
        "SVG.",
        "picture.bmp", PlotFormat::Ipf, PlotShape::Outline);
}

// Without a picture, or with settings that cannot be used, the result says why and nothing else
// happens: no control changes, no platform call, the old plot stays.
void TestConversionRun::refusedBeforeAnything()
{
    QFETCH(QString, file);
    QFETCH(int, rows);
    QFETCH(QString, scale);
    QFETCH(QString, thickness);
    QFETCH(PlotFormat, format);
    QFETCH(QString, message);
    QFETCH(PlotShape, shape);
    CurrentFolder ws;
    QVERIFY(writeFile(ws.path("out.plt"), "old plot"));
    FakeFrontEnd frontEnd;
    frontEnd.file = file;
    frontEnd.image = filled(3, rows, Qt::black);
    frontEnd.scale = scale;
    frontEnd.thickness = thickness;
    RecordingPlatform platform;
    ConversionRun run(frontEnd, platform);
    run.setFormat(format);
    run.setStyle({shape, BoardSide::Top, BoardLayer::Silkscreen});
    const RunResult result = run.run();
    QCOMPARE(result.outcome, file.isEmpty() ? RunOutcome::NoPicture : RunOutcome::BadSetting);
    QCOMPARE(result.message, message);
    QVERIFY(platform.calls.isEmpty());
    QVERIFY(frontEnd.calls.isEmpty());
    QCOMPARE(readFile(ws.path("out.plt")), QByteArray("old plot"));
    QCOMPARE(ws.entries(), QStringList{"out.plt"});
}

// Events run between rows: only the thickness box takes effect at once. The picture, the
// colour and the scale stay as they were when the run started.
void TestConversionRun::changesDuringTheRun()
{
    CurrentFolder ws;
    FakeFrontEnd frontEnd;
    frontEnd.image = filled(2, 4, Qt::black);
    RecordingPlatform platform;
    // Events before rows 1, 2 and 3: typing in the thickness box while the run goes on.
    platform.setOnProcessEvents([&](int call) {
        if (call == 2) {
            frontEnd.thickness = QStringLiteral("7.5");
            frontEnd.image = filled(50, 50, Qt::white); // another picture loaded
            frontEnd.target = 0xffffff;
            frontEnd.scale = QStringLiteral("9");
        }
        if (call == 3)
            frontEnd.thickness = QStringLiteral("7.5x"); // half typed: keep the last good
        if (call == 4)
            frontEnd.thickness = QStringLiteral("-3"); // a number no line can have: the same
    });
    QCOMPARE(ConversionRun(frontEnd, platform).run().outcome, RunOutcome::Written);
    QCOMPARE(readFile(ws.path("out.plt")), PlotHeader + "259\r\n1000 2\r\n0 600 200 600\r\n"
                                                        "259\r\n750 2\r\n0 400 200 400\r\n"
                                                        "259\r\n750 2\r\n0 200 200 200\r\n"
                                                        "259\r\n750 2\r\n0 0 200 0\r\n");
}

// The user is told where and why, nothing is scanned, the controls come back, and every file
// stays as it was - the picture above all. (The many kinds of output: tst_converter.)
void TestConversionRun::outputThatIsThePictureIsRefusedBeforeTheScan()
{
    CurrentFolder ws;
    FakeFrontEnd frontEnd;
    frontEnd.image = filled(3, 2, Qt::black);
    frontEnd.file = ws.path("picture.bmp");
    QVERIFY(frontEnd.image.save(frontEnd.file, "BMP"));
    const QByteArray picture = readFile(frontEnd.file);
    QVERIFY(QFile::link("picture.bmp", ws.path("out.plt")));
    RecordingPlatform platform;
    const RunResult result = ConversionRun(frontEnd, platform).run();
    QCOMPARE(result.outcome, RunOutcome::OpenFailed);
    QCOMPARE(result.message, "Cannot create the plot file " + ws.path("out.plt") +
                                 ":\rit is the picture being converted (or another name for "
                                 "it), which is left as it was.");
    QCOMPARE(frontEnd.calls,
             (QStringList{"Command1 hide", "Image1(0) hide", "Image1(1) hide", "Command1 show"}));
    QCOMPARE(platform.eventPasses, 0); // no scan without a file
    QCOMPARE(ws.entries(), (QStringList{"out.plt", "picture.bmp"}));
    QCOMPARE(readFile(frontEnd.file), picture);
}

// A picture read from its file while converting, and the file shrinks (another program): once
// a row cannot be read, no further row is traced for a plot that will be thrown away.
void TestConversionRun::pictureFileCutShortStopsTheScanAtOnce()
{
    CurrentFolder ws;
    // Several blocks of rows in the file.
    QVERIFY(filled(1000, 800, Qt::black).save(ws.path("p.bmp"), "BMP"));
    QVERIFY(writeFile(ws.path("out.plt"), "old plot"));
    FakeFrontEnd frontEnd;
    frontEnd.file = ws.path("p.bmp");
    frontEnd.raster = PictureLoader::load(frontEnd.file, LoadMode::Stream).raster;
    QVERIFY(!frontEnd.raster.isNull());
    RecordingPlatform platform;
    platform.setOnProcessEvents([&](int call) {
        if (call == 10)
            QVERIFY(QFile::resize(frontEnd.file, 1000));
    });
    const RunResult result = ConversionRun(frontEnd, platform).run();
    QCOMPARE(result.outcome, RunOutcome::WriteFailed);
    const QString text = result.message;
    QVERIFY2(text.startsWith("Cannot read the picture " + frontEnd.file + ":\r"), qPrintable(text));
    QVERIFY2(text.contains("cut short"), qPrintable(text));
    QVERIFY(frontEnd.rowsDone.size() > 10);
    QCOMPARE(frontEnd.rowAfterFailure, -1);
    QCOMPARE(readFile(ws.path("out.plt")), QByteArray("old plot"));
    QCOMPARE(ws.entries(), (QStringList{"out.plt", "p.bmp"}));
}

QTEST_GUILESS_MAIN(TestConversionRun)
#include "tst_conversionrun.moc"
