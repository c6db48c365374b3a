#include "BmpRowSource.h"
#include "ConversionFrontEnd.h"
#include "ConversionRun.h"
#include "PlotWriter.h"
#include "RecordingPlatform.h"
#include "RunFinder.h"
#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <charconv>
#include <random>

using namespace kelviq;

using testfiles::readFile;

namespace {

// Hands the run a ready raster, read from an image or straight from a bitmap file.
class RasterFrontEnd : public ConversionFrontEnd
{
public:
    Raster raster;
    ColorValue target = 0;
    QString scale;
    QString thickness;

    QString fileName() const override { return QStringLiteral("picture.bmp"); }
    Raster picture() const override { return raster; }
    ColorValue targetColor() const override { return target; }
    QString scaleText() const override { return scale; }
    QString thicknessText() const override { return thickness; }
    void setMakeButtonVisible(bool) override {}
    void setBusyPictureVisible(int, bool) override {}
};

// The general text of a number: 15 significant digits, shortest form, no "-0".
QByteArray general(double v)
{
    if (v == 0.0)
        return "0";
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, v, std::chars_format::general, 15);
    return QByteArray(text, end.ptr - text);
}

// The plot written the plain way: one point() per pixel, every number through the general
// path, no buffering tricks.
QByteArray plainPlot(const Raster& raster, ColorValue target, double scale, double thickness)
{
    QByteArray out = QByteArray::fromStdString(PlotWriter::headerText());
    const RunFinder finder(raster, target);
    std::vector<Run> runs;
    const int last = raster.width() - 1;
    for (int y = 0; y < raster.height(); ++y) {
        finder.findRunsByPoint(y, runs);
        const QByteArray rowY = general(((raster.height() - 1 - y) * scale) * 100);
        for (const Run& run : runs) {
            out += "259\r\n" + general(thickness * 100) + " 2\r\n";
            out += general((run.begin * scale) * 100) + ' ' + rowY + ' ' +
                   general((std::min(run.end, last) * scale) * 100) + ' ' + rowY + "\r\n";
        }
    }
    return out;
}

// Runs of random length, some crossing many 64-pixel words, in a few colours that differ in
// single bits.
QImage randomPicture(std::mt19937& random, QImage::Format format, int width, int height)
{
    const QList<QRgb> colors = {qRgb(0, 0, 0), qRgb(255, 255, 255), qRgb(0, 0, 1), qRgb(1, 0, 0),
                                qRgba(0, 0, 0, 0)};
    const int count = format == QImage::Format_Mono ? 2 : format == QImage::Format_ARGB32 ? 5 : 4;
    QImage image(width, height, format);
    if (format == QImage::Format_Mono || format == QImage::Format_Indexed8)
        image.setColorTable(colors.mid(0, count));
    const int longest = 1 + static_cast<int>(random() % 200);
    for (int y = 0; y < height; ++y) {
        int x = 0;
        while (x < width) {
            const int index = static_cast<int>(random() % count);
            const int length = 1 + static_cast<int>(random() % longest);
            for (int end = std::min(width, x + length); x < end; ++x) {
                if (format == QImage::Format_Mono || format == QImage::Format_Indexed8)
                    image.setPixel(x, y, static_cast<uint>(index));
                else
                    image.setPixel(x, y, colors[index]);
            }
        }
    }
    return image;
}

} // namespace

class TestPlotIdentity : public QObject
{
    Q_OBJECT

private slots:
    void fastPathsWriteWhatThePlainPathWrites_data();
    void fastPathsWriteWhatThePlainPathWrites();
};

void TestPlotIdentity::fastPathsWriteWhatThePlainPathWrites_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("fromFile");
    QTest::newRow("1-bit") << QImage::Format_Mono << false;
    QTest::newRow("8-bit palette") << QImage::Format_Indexed8 << false;
    QTest::newRow("32-bit") << QImage::Format_RGB32 << false;
    QTest::newRow("32-bit with alpha") << QImage::Format_ARGB32 << false;
    QTest::newRow("8-bit grey") << QImage::Format_Grayscale8 << false;
    QTest::newRow("1-bit file, row by row") << QImage::Format_Mono << true;
    QTest::newRow("8-bit file, row by row") << QImage::Format_Indexed8 << true;
    QTest::newRow("24-bit file, row by row") << QImage::Format_RGB32 << true;
}

void TestPlotIdentity::fastPathsWriteWhatThePlainPathWrites()
{
    QFETCH(QImage::Format, format);
    QFETCH(bool, fromFile);
    const QList<QPair<QString, double>> scales = {
        {"2", 2},         {"0.1", 0.1},   {"0.015", 0.015}, {"1", 1},
        {"0.333", 0.333}, {"7.25", 7.25}, {"-2", -2},       {"123456.789", 123456.789}};
    const QList<QPair<QString, double>> thicknesses = {
        {"10", 10}, {"7.5", 7.5}, {"0", 0}, {"0.015", 0.015}, {"98765.4321", 98765.4321}};
    const QList<ColorValue> targets = {0, 0xffffff, 0x010000, 0x000001};

    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    auto restore = qScopeGuard([&] { QDir::setCurrent(previous); });
    std::mt19937 random(99);
    for (int round = 0; round < 40; ++round) {
        const int width = 1 + static_cast<int>(random() % (round % 4 == 0 ? 700 : 70));
        const int height = 1 + static_cast<int>(random() % 12);
        const QImage image = randomPicture(random, format, width, height);
        RasterFrontEnd frontEnd;
        if (fromFile) {
            const QString path = dir.filePath(QStringLiteral("picture.bmp"));
            QVERIFY(image.save(path, "BMP"));
            frontEnd.raster = Raster::fromRows(BmpRowSource::open(path));
            QVERIFY(!frontEnd.raster.isNull());
        } else {
            frontEnd.raster = Raster::fromImage(image);
        }
        const auto& [scaleText, scale] = scales[round % scales.size()];
        const auto& [thicknessText, thickness] = thicknesses[round % thicknesses.size()];
        frontEnd.scale = scaleText;
        frontEnd.thickness = thicknessText;
        frontEnd.target = targets[random() % targets.size()];
        RecordingPlatform platform;
        QCOMPARE(ConversionRun(frontEnd, platform).Command1_Click().outcome, RunOutcome::Written);
        const QByteArray written = readFile(dir.filePath(QStringLiteral("out.plt")));
        const QByteArray plain = plainPlot(frontEnd.raster, frontEnd.target, scale, thickness);
        if (written != plain) {
            QFAIL(qPrintable(QStringLiteral("%1 x %2 picture, scale %3, thickness %4, target %5")
                                 .arg(width)
                                 .arg(height)
                                 .arg(scaleText, thicknessText)
                                 .arg(frontEnd.target, 6, 16, QLatin1Char('0'))));
        }
    }
}

QTEST_GUILESS_MAIN(TestPlotIdentity)
#include "tst_plotidentity.moc"
