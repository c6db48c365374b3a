#include "Raster.h"
#include "RunFinder.h"

#include <QTest>
#include <random>

using namespace kelviq;

namespace {

// Random picture in the given format, drawing from a few colours so that runs form, with
// neighbours of black that differ in a single bit.
QImage randomPicture(std::mt19937& random, QImage::Format format, int width, int height)
{
    const QList<QRgb> colors = {qRgb(0, 0, 0),   qRgb(255, 255, 255), qRgb(0, 0, 1),
                                qRgb(128, 0, 0), qRgba(0, 0, 0, 0),   qRgba(10, 20, 30, 128)};
    QImage image(width, height, format);
    if (format == QImage::Format_Mono || format == QImage::Format_MonoLSB) {
        image.setColorTable({colors[random() % 4], colors[random() % 4]});
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, random() % 2);
    } else if (format == QImage::Format_Indexed8) {
        image.setColorTable(colors);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixel(x, y, random() % 3 == 0 ? 0 : random() % colors.size());
    } else {
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.setPixelColor(x, y, QColor::fromRgba(colors[random() % colors.size()]));
    }
    return image;
}

} // namespace

class TestRunFinder : public QObject
{
    Q_OBJECT

private slots:
    void fastPathsAgreeWithPointByPoint_data();
    void fastPathsAgreeWithPointByPoint();
    void transparencyIsTracedAsShownOverWhite();
    void indexBeyondThePaletteIsBlack();
    void pointOutsideIsNoColor();
    void greyPictureStaysAByteAPixel();
};

void TestRunFinder::fastPathsAgreeWithPointByPoint_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("1-bit") << QImage::Format_Mono;
    QTest::newRow("1-bit LSB first") << QImage::Format_MonoLSB;
    QTest::newRow("8-bit palette") << QImage::Format_Indexed8;
    QTest::newRow("32-bit") << QImage::Format_RGB32;
    QTest::newRow("32-bit with alpha") << QImage::Format_ARGB32;
    QTest::newRow("24-bit") << QImage::Format_RGB888;
    QTest::newRow("16-bit") << QImage::Format_RGB16;
    QTest::newRow("8-bit grey") << QImage::Format_Grayscale8;
}

void TestRunFinder::fastPathsAgreeWithPointByPoint()
{
    QFETCH(QImage::Format, format);
    std::mt19937 random(42);
    const QList<ColorValue> targets = {0, 0xffffff, 0x010000, 0x000080, 0x12345, NoColor};
    std::vector<Run> fast;
    std::vector<Run> plain;
    for (int round = 0; round < 300; ++round) {
        // Widths around byte and 64-bit word boundaries matter for the 1-bit path.
        const int width = 1 + static_cast<int>(random() % (round % 3 == 0 ? 200 : 17));
        const int height = 1 + static_cast<int>(random() % 6);
        const Raster raster = Raster::fromImage(randomPicture(random, format, width, height));
        for (ColorValue target : targets) {
            const RunFinder finder(raster, target);
            for (int y = 0; y < height; ++y) {
                finder.findRuns(y, fast);
                finder.findRunsByPoint(y, plain);
                QCOMPARE(fast, plain);
            }
        }
    }
    // Long runs of one kind, crossing many words.
    QImage wide(1000, 3, format == QImage::Format_MonoLSB ? format : QImage::Format_Mono);
    wide.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    wide.fill(0);
    for (int x = 130; x < 870; ++x)
        wide.setPixel(x, 1, 1);
    wide.setPixel(999, 2, 1);
    const Raster raster = Raster::fromImage(wide);
    const RunFinder finder(raster, 0);
    finder.findRuns(0, fast);
    QVERIFY(fast.empty());
    finder.findRuns(1, fast);
    QCOMPARE(fast, (std::vector<Run>{{130, 870}}));
    finder.findRuns(2, fast);
    QCOMPARE(fast, (std::vector<Run>{{999, 1000}}));
}

void TestRunFinder::transparencyIsTracedAsShownOverWhite()
{
    QImage image(3, 1, QImage::Format_ARGB32);
    image.setPixel(0, 0, qRgba(0, 0, 0, 0));     // fully transparent: white
    image.setPixel(1, 0, qRgba(0, 0, 0, 255));   // opaque black stays black
    image.setPixel(2, 0, qRgba(255, 0, 0, 128)); // half red over white
    const Raster raster = Raster::fromImage(image);
    QCOMPARE(raster.point(0, 0), 0xffffff);
    QCOMPARE(raster.point(1, 0), 0);
    QCOMPARE(raster.point(2, 0), 0x7f7fff);
    QCOMPARE(raster.shownImage().pixel(2, 0), qRgb(255, 127, 127));

    QImage indexed(2, 1, QImage::Format_Indexed8);
    indexed.setColorTable({qRgba(0, 0, 0, 0), qRgb(0, 0, 0)});
    indexed.setPixel(0, 0, 0);
    indexed.setPixel(1, 0, 1);
    const Raster palette = Raster::fromImage(indexed);
    QCOMPARE(palette.point(0, 0), 0xffffff);
    QCOMPARE(palette.point(1, 0), 0);
    QCOMPARE(palette.shownImage().pixel(0, 0), qRgb(255, 255, 255));
}

// Traced and shown alike: a short palette is padded with black.
void TestRunFinder::indexBeyondThePaletteIsBlack()
{
    QImage image(2, 1, QImage::Format_Indexed8);
    image.setColorTable({qRgb(9, 9, 9)});
    image.bits()[0] = 0;
    image.bits()[1] = 200;
    const Raster raster = Raster::fromImage(image);
    QCOMPARE(raster.point(1, 0), 0);
    std::vector<Run> runs;
    RunFinder(raster, 0).findRuns(0, runs);
    QCOMPARE(runs, (std::vector<Run>{{1, 2}}));
    const QImage shown = raster.shownImage();
    QCOMPARE(shown.pixel(0, 0), qRgb(9, 9, 9));
    QCOMPARE(shown.pixel(1, 0), qRgb(0, 0, 0));
}

void TestRunFinder::pointOutsideIsNoColor()
{
    QImage image(4, 3, QImage::Format_RGB32);
    image.fill(Qt::white);
    const Raster raster = Raster::fromImage(image);
    QCOMPARE(raster.point(3, 2), 0xffffff);
    QCOMPARE(raster.point(4, 0), NoColor);
    QCOMPARE(raster.point(0, 3), NoColor);
    QCOMPARE(raster.point(-1, 0), NoColor);
    QCOMPARE(Raster().point(0, 0), NoColor);
}

void TestRunFinder::greyPictureStaysAByteAPixel()
{
    QImage grey(256, 2, QImage::Format_Grayscale8);
    for (int x = 0; x < 256; ++x) {
        grey.bits()[x] = static_cast<uchar>(x);
        grey.bits()[grey.bytesPerLine() + x] = static_cast<uchar>(255 - x);
    }
    const Raster raster = Raster::fromImage(grey);
    QCOMPARE(raster.layout(), Raster::Layout::Indexed);
    QCOMPARE(raster.shownImage().format(), QImage::Format_Grayscale8);
    const QImage rgb = grey.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 256; ++x)
            QCOMPARE(raster.point(x, y), colorValueFromRgb(rgb.pixel(x, y)));
    std::vector<Run> runs;
    RunFinder(raster, 0x7f7f7f).findRuns(1, runs);
    QCOMPARE(runs, (std::vector<Run>{{128, 129}}));
}

QTEST_GUILESS_MAIN(TestRunFinder)
#include "tst_runfinder.moc"
