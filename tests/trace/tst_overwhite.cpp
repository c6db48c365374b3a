// Transparency flattened without Qt gives exactly what Qt's painter shows on white, for every
// value and alpha: the web page traces what the converter traces.
#include "trace/OverWhite.h"

#include <QPainter>
#include <QTest>
#include <vector>

using namespace kelviq;

class TestOverWhite : public QObject
{
    Q_OBJECT

private slots:
    void everyValueAndAlpha_data();
    void everyValueAndAlpha();
};

void TestOverWhite::everyValueAndAlpha_data()
{
    // The converter paints a whole ARGB picture over white in blocks of rows (the painter's
    // wide paths), and each palette colour on its own 1 × 1 picture.
    QTest::addColumn<bool>("wholePicture");
    QTest::newRow("picture") << true;
    QTest::newRow("palette colours one by one") << false;
}

void TestOverWhite::everyValueAndAlpha()
{
    QFETCH(bool, wholePicture);
    // Column = value, row = alpha; the channels differ so none can stand in for another.
    QImage source(256, 256, QImage::Format_ARGB32);
    std::vector<RgbWord> flat;
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v) {
            const int r = v;
            const int g = 255 - v;
            const int b = v ^ 0x5a;
            source.setPixel(v, a, qRgba(r, g, b, a));
            flat.push_back(qRgba(r, g, b, a));
        }

    QImage painted(256, 256, QImage::Format_RGB32);
    if (wholePicture) {
        painted.fill(Qt::white);
        QPainter(&painted).drawImage(0, 0, source);
    } else {
        for (int a = 0; a < 256; ++a)
            for (int v = 0; v < 256; ++v) {
                QImage pixel(1, 1, QImage::Format_RGB32);
                pixel.fill(Qt::white);
                QPainter painter(&pixel);
                painter.drawImage(0, 0, source.copy(v, a, 1, 1));
                painter.end();
                painted.setPixel(v, a, pixel.pixel(0, 0));
            }
    }

    QVERIFY(OverWhite::flatten(flat.data(), flat.size()));
    for (int a = 0; a < 256; ++a)
        for (int v = 0; v < 256; ++v) {
            const QRgb expected = painted.pixel(v, a);
            const std::uint32_t got = flat[static_cast<std::size_t>(a * 256 + v)];
            if (got != expected)
                QFAIL(qPrintable(QStringLiteral("value %1 alpha %2: painter %3, flattened %4")
                                     .arg(v)
                                     .arg(a)
                                     .arg(expected, 8, 16)
                                     .arg(got, 8, 16)));
            QCOMPARE(int(OverWhite::channel(std::uint8_t(v), std::uint8_t(a))), qRed(expected));
        }
}

QTEST_MAIN(TestOverWhite)
#include "tst_overwhite.moc"
