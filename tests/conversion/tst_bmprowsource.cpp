#include "BmpRowSource.h"
#include "ConversionRun.h"
#include "FakeFrontEnd.h"
#include "PictureLoader.h"
#include "Raster.h"
#include "RecordingPlatform.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <random>

using namespace kelviq;

namespace {

// Every pixel of the file read row by row must be the pixel of the window's decoded picture
// and of Qt's reader, also at the level of palette indices, so the run finder sees the same
// rows either way.
void compareWithLoader(const QString& path, const Raster& streamed)
{
    const LoadResult loaded = PictureLoader::load(path, LoadMode::Decode);
    QVERIFY2(loaded.ok(), qPrintable(path + ": " + loaded.error));
    QImageReader reader(path);
    for (const Raster& reference : {loaded.raster, Raster::fromImage(reader.read())}) {
        QCOMPARE(streamed.width(), reference.width());
        QCOMPARE(streamed.height(), reference.height());
        QCOMPARE(streamed.layout(), reference.layout());
        for (int y = 0; y < reference.height(); ++y) {
            if (reference.layout() == Raster::Layout::Indexed) {
                QVERIFY2(std::memcmp(streamed.row(y), reference.row(y),
                                     static_cast<std::size_t>(reference.width())) == 0,
                         qPrintable(QStringLiteral("%1 row %2").arg(path).arg(y)));
            }
            for (int x = 0; x < reference.width(); ++x) {
                if (streamed.point(x, y) != reference.point(x, y))
                    QFAIL(qPrintable(QStringLiteral("%1: pixel %2,%3").arg(path).arg(x).arg(y)));
            }
        }
    }
}

QImage randomPicture(std::mt19937& random, QImage::Format format, int width, int height,
                     int colors = 256)
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
    void largeOneBitPictures_data();
    void largeOneBitPictures();
    void runOnAFileCutShortKeepsThePreviousPlot();
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

// Every row padding (widths 1 to 70), both row orders, and reads of blocks of many rows.
void TestBmpRowSource::picturesOfEveryKindAndWidth()
{
    QFETCH(QImage::Format, format);
    QFETCH(int, colors);
    QFETCH(int, bits);
    QTemporaryDir dir;
    std::mt19937 random(7);
    for (int width = 1; width <= 70; ++width) {
        const int height = width == 70 ? 3000 : 1 + static_cast<int>(random() % 5);
        const QImage image = randomPicture(random, format, width, height, colors);
        const QString path = dir.filePath(QStringLiteral("p%1.bmp").arg(width));
        QVERIFY(image.save(path, "BMP"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        QCOMPARE(qFromLittleEndian<quint16>(data.constData() + 28), bits);
        for (const bool flipped : {false, true}) {
            const QString name =
                flipped ? dir.filePath(QStringLiteral("t%1.bmp").arg(width)) : path;
            if (flipped)
                QVERIFY(testfiles::writeFile(name, topDown(data)));
            const std::shared_ptr<BmpRowSource> source = BmpRowSource::open(name);
            QVERIFY2(source, qPrintable(name));
            compareWithLoader(name, Raster::fromRows(source));
            if (QTest::currentTestFailed())
                return;
        }
    }
}

void TestBmpRowSource::largeOneBitPictures_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::newRow("16385 × 16385") << 16385 << 16385;
    QTest::newRow("40000 × 24000") << 40000 << 24000;
}

// Beyond what Qt's bitmap reader takes: streamed for converting, decoded for the window, a bit
// a pixel either way.
void TestBmpRowSource::largeOneBitPictures()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.bmp"));
    QImage corner(8, 8, QImage::Format_Mono);
    corner.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    corner.fill(1);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(corner.save(&buffer, "BMP"));
        QByteArray header = buffer.data().left(62);
        const qint64 stride = (qint64(width) + 31) / 32 * 4;
        qToLittleEndian<quint32>(static_cast<quint32>(62 + stride * height), header.data() + 2);
        qToLittleEndian<qint32>(width, header.data() + 18);
        qToLittleEndian<qint32>(height, header.data() + 22);
        QCOMPARE(file.write(header), qint64(62));
        // Zeros (black) everywhere but the first byte of the top row: 8 white pixels.
        QVERIFY(file.resize(62 + stride * height));
        QVERIFY(file.seek(62 + stride * (height - 1)));
        QCOMPARE(file.write("\xff", 1), qint64(1));
    }
    file.close();
    for (const LoadMode mode : {LoadMode::Stream, LoadMode::Decode}) {
        const LoadResult loaded = PictureLoader::load(path, mode);
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        QCOMPARE(loaded.raster.layout(), Raster::Layout::Bits);
        QCOMPARE(loaded.raster.width(), width);
        QCOMPARE(loaded.raster.height(), height);
        QCOMPARE(loaded.raster.point(7, 0), colorValueFromRgb(qRgb(255, 255, 255)));
        QCOMPARE(loaded.raster.point(8, 0), 0);
        QCOMPARE(loaded.raster.point(width - 1, height - 1), 0);
        QVERIFY(loaded.raster.readError().isEmpty());
    }
}

// Shrinks the picture's file while the run processes events, as another program might.
void TestBmpRowSource::runOnAFileCutShortKeepsThePreviousPlot()
{
    QTemporaryDir dir;
    std::mt19937 random(11);
    FakeFrontEnd frontEnd;
    frontEnd.file = dir.filePath(QStringLiteral("p.bmp"));
    QVERIFY(randomPicture(random, QImage::Format_RGB32, 1000, 2000).save(frontEnd.file, "BMP"));
    frontEnd.raster = Raster::fromRows(BmpRowSource::open(frontEnd.file));
    QVERIFY(!frontEnd.raster.isNull());
    const QString plot = dir.filePath(QStringLiteral("out.plt"));
    QVERIFY(testfiles::writeFile(plot, "old plot"));

    RecordingPlatform platform;
    platform.setOnProcessEvents([&](int call) {
        if (call == 10)
            QVERIFY(QFile::resize(frontEnd.file, 1000));
    });
    ConversionRun run(frontEnd, platform);
    run.setOutputPath(plot);
    const RunResult result = run.Command1_Click();
    QCOMPARE(result.outcome, RunOutcome::WriteFailed);
    QCOMPARE(platform.messages.size(), 1);
    // The rows already read in one block are gone now: the reason names the file and the cut.
    const QString text = platform.messages[0].text;
    QVERIFY2(text.startsWith("Cannot read the picture " + frontEnd.file), qPrintable(text));
    QVERIFY2(text.contains(QLatin1String("cut short")), qPrintable(text));
    QCOMPARE(platform.beeps, 0);
    QCOMPARE(testfiles::readFile(plot), QByteArray("old plot"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), (QStringList{"out.plt", "p.bmp"}));
}

QTEST_GUILESS_MAIN(TestBmpRowSource)
#include "tst_bmprowsource.moc"
