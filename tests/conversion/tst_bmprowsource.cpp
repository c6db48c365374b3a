// Plain bitmap files read row by row (converting) and decoded whole (the window) give exactly
// the pixels of Qt's reader, at every row padding, in both row orders, at any size.
#include "BmpRowSource.h"
#include "PictureLoader.h"
#include "RasterPixels.h"
#include "TestFiles.h"

#include <QImageReader>
#include <QTest>
#include <QtEndian>
#include <random>

using namespace kelviq;

namespace {

QImage randomPicture(std::mt19937& random, QImage::Format format, int width, int height, int colors)
{
    QImage image(width, height, format);
    if (format == QImage::Format_Mono) {
        image.setColorTable({qRgb(0, 0, 0), qRgb(250, 251, 252)});
    } else if (format == QImage::Format_Indexed8) {
        QList<QRgb> table;
        for (int i = 0; i < colors; ++i)
            table.append(qRgb(i, (i * 7) & 255, 255 - i));
        image.setColorTable(table);
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (format == QImage::Format_RGB32)
                image.setPixel(x, y, qRgb(random() % 3, random() % 2 * 255, 7));
            else
                image.setPixel(x, y, static_cast<uint>(random() % image.colorCount()));
        }
    return image;
}

// The pixel data of a bottom-up bitmap turned into a top-down one: negative height, rows
// reversed.
QByteArray topDown(const QByteArray& file)
{
    QByteArray out = file;
    const auto* header = reinterpret_cast<const uchar*>(file.constData());
    const qint32 width = qFromLittleEndian<qint32>(header + 18);
    const qint32 height = qFromLittleEndian<qint32>(header + 22);
    const int bits = qFromLittleEndian<quint16>(header + 28);
    const qsizetype offset = qFromLittleEndian<quint32>(header + 10);
    const qsizetype stride = ((qsizetype(width) * bits + 31) / 32) * 4;
    qToLittleEndian<qint32>(-height, reinterpret_cast<uchar*>(out.data()) + 22);
    for (int row = 0; row < height; ++row)
        out.replace(offset + row * stride, stride,
                    file.mid(offset + (height - 1 - row) * stride, stride));
    return out;
}

} // namespace

class TestBmpRowSource : public QObject
{
    Q_OBJECT

private slots:
    void picturesOfEveryKindAndWidth_data();
    void picturesOfEveryKindAndWidth();
    void largeOneBitPicture();
};

void TestBmpRowSource::picturesOfEveryKindAndWidth_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<int>("colors");
    QTest::addColumn<int>("bits");
    QTest::newRow("1-bit") << QImage::Format_Mono << 2 << 1;
    QTest::newRow("4-bit palette") << QImage::Format_Indexed8 << 16 << 4;
    QTest::newRow("8-bit palette") << QImage::Format_Indexed8 << 256 << 8;
    QTest::newRow("24-bit") << QImage::Format_RGB32 << 0 << 24;
}

// Every row padding (widths 1 to 70), both row orders, and reads of blocks of many rows. Also
// at the level of palette indices, so the run finder sees the same rows either way.
void TestBmpRowSource::picturesOfEveryKindAndWidth()
{
    QFETCH(QImage::Format, format);
    QFETCH(int, colors);
    QFETCH(int, bits);
    QTemporaryDir dir;
    std::mt19937 random(7);
    for (int width = 1; width <= 70; ++width) {
        const int height = width == 70 ? 3000 : 1 + static_cast<int>(random() % 5);
        const QString path = dir.filePath(QStringLiteral("p%1.bmp").arg(width));
        QVERIFY(randomPicture(random, format, width, height, colors).save(path, "BMP"));
        const QByteArray data = testfiles::readFile(path);
        QCOMPARE(qFromLittleEndian<quint16>(data.constData() + 28), bits);
        const QString flipped = dir.filePath(QStringLiteral("t%1.bmp").arg(width));
        QVERIFY(testfiles::writeFile(flipped, topDown(data)));
        for (const QString& name : {path, flipped}) {
            const Raster streamed = Raster::fromRows(BmpRowSource::open(name));
            const LoadResult decoded = PictureLoader::load(name, LoadMode::Decode);
            QVERIFY2(decoded.ok(), qPrintable(decoded.error));
            const Raster qt = Raster::fromImage(QImageReader(name).read());
            for (const Raster& raster : {streamed, decoded.raster}) {
                QCOMPARE(raster.layout(), qt.layout());
                QVERIFY2(testfiles::pixels(raster) == testfiles::pixels(qt), qPrintable(name));
                for (int y = 0; qt.layout() == Raster::Layout::Indexed && y < height; ++y)
                    QVERIFY(std::memcmp(raster.row(y), qt.row(y), std::size_t(width)) == 0);
            }
        }
    }
}

// Beyond what Qt's bitmap reader takes: streamed for converting, decoded for the window, a bit
// a pixel either way.
void TestBmpRowSource::largeOneBitPicture()
{
    const int side = 16385;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.bmp"));
    QImage corner(8, 8, QImage::Format_Mono);
    corner.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    corner.fill(0);
    QVERIFY(corner.save(path, "BMP"));
    QByteArray header = testfiles::readFile(path).left(62);
    const qint64 stride = (qint64(side) + 31) / 32 * 4;
    qToLittleEndian<quint32>(static_cast<quint32>(62 + stride * side), header.data() + 2);
    qToLittleEndian<qint32>(side, header.data() + 18);
    qToLittleEndian<qint32>(side, header.data() + 22);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(header) == 62);
    // Zeros (black) everywhere but the first byte of the top row: 8 white pixels.
    QVERIFY(file.resize(62 + stride * side));
    QVERIFY(file.seek(62 + stride * (side - 1)) && file.write("\xff", 1) == 1);
    file.close();
    for (const LoadMode mode : {LoadMode::Stream, LoadMode::Decode}) {
        const LoadResult loaded = PictureLoader::load(path, mode);
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        QCOMPARE(loaded.raster.layout(), Raster::Layout::Bits);
        QCOMPARE(loaded.raster.width(), side);
        QCOMPARE(loaded.raster.height(), side);
        QCOMPARE(loaded.raster.point(7, 0), colorValueFromRgb(qRgb(255, 255, 255)));
        QCOMPARE(loaded.raster.point(8, 0), 0);
        QCOMPARE(loaded.raster.point(side - 1, side - 1), 0);
        QVERIFY(loaded.raster.readError().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestBmpRowSource)
#include "tst_bmprowsource.moc"
