// The picture loader on crafted files: absurd sizes are refused at once without being
// allocated, and cut or damaged files are refused with their reason in plain words.
#include "PictureLoader.h"
#include "Raster.h"
#include "TestFiles.h"

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <sys/resource.h>
#include <unistd.h>

using namespace kelviq;

namespace {

void put32(QByteArray& data, int at, quint32 value)
{
    qToLittleEndian(value, data.data() + at);
}

void put16(QByteArray& data, int at, quint16 value)
{
    qToLittleEndian(value, data.data() + at);
}

// A bitmap file header and 40-byte info header, with no colour table and no pixels.
QByteArray bmpHeader(qint32 width, qint32 height, int bits, int compression = 0)
{
    QByteArray data(54, '\0');
    data[0] = 'B';
    data[1] = 'M';
    put32(data, 2, 54);
    put32(data, 10, 54);
    put32(data, 14, 40);
    put32(data, 18, static_cast<quint32>(width));
    put32(data, 22, static_cast<quint32>(height));
    put16(data, 26, 1);
    put16(data, 28, static_cast<quint16>(bits));
    put32(data, 30, static_cast<quint32>(compression));
    return data;
}

quint32 crc32(const QByteArray& data)
{
    quint32 crc = 0xffffffffu;
    for (const char c : data) {
        crc ^= static_cast<uchar>(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& fields)
{
    QByteArray length(4, '\0');
    qToBigEndian(quint32(fields.size()), length.data());
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(type + fields), crc.data());
    return length + type + fields + crc;
}

// A PNG whose valid header claims the size, with empty picture data.
QByteArray pngHeader(quint32 width, quint32 height)
{
    QByteArray fields(13, '\0');
    qToBigEndian(width, fields.data());
    qToBigEndian(height, fields.data() + 4);
    fields[8] = 8; // bit depth
    fields[9] = 6; // RGBA
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", fields) + pngChunk("IDAT", {}) +
           pngChunk("IEND", {});
}

QByteArray saved(const QImage& image, const char* format = "BMP")
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return data;
}

QImage palettePicture(int width, int height)
{
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i)
        table << qRgb(i, 255 - i, i / 2);
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, static_cast<uint>((x / 3 + y) % 256));
    return image;
}

// An 8-bit run-length file of 4 × 2 pixels; the caller gives the compressed data.
QByteArray rleFile(const QByteArray& pixels, int height = 2)
{
    QByteArray data = bmpHeader(4, height, 8, 1);
    put32(data, 46, 2); // two colours
    data += QByteArray("\x00\x00\x00\x00\xff\xff\xff\x00", 8);
    put32(data, 10, static_cast<quint32>(data.size()));
    data += pixels;
    put32(data, 2, static_cast<quint32>(data.size()));
    return data;
}

long maxResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void absurdSizesAreRefusedAtOnce_data();
    void absurdSizesAreRefusedAtOnce();
    void refusedWithTheReason_data();
    void refusedWithTheReason();
    void loadsThePicture_data();
    void loadsThePicture();
    void unreadableFileSaysWhy();
};

void TestPictureLoader::absurdSizesAreRefusedAtOnce_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");
    QTest::newRow("BMP 100000 × 100000")
        << bmpHeader(100000, 100000, 24) << "the picture is 100000 × 100000 pixels, more than";
    QTest::newRow("BMP top-down 100000 × 100000")
        << bmpHeader(100000, -100000, 32) << "the picture is 100000 × 100000 pixels, more than";
    QTest::newRow("compressed BMP 100000 × 100000")
        << bmpHeader(100000, 100000, 8, 1) << "the picture is 100000 × 100000 pixels";
    QTest::newRow("BMP widest row")
        << bmpHeader(2147483647, 1, 1) << "the picture is 2147483647 × 1 pixels";
    QTest::newRow("PNG 100000 × 100000")
        << pngHeader(100000, 100000) << "the picture is 100000 × 100000 pixels";
}

void TestPictureLoader::absurdSizesAreRefusedAtOnce()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.bmp"));
    QVERIFY(testfiles::writeFile(path, data));

    const long residentBefore = maxResidentKb();
    QElapsedTimer timer;
    timer.start();
    const LoadedPicture loaded = PictureLoader::load(path);
    QVERIFY2(timer.elapsed() < 1000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY(!loaded.ok());
    QVERIFY(loaded.image.isNull());
    QVERIFY2(loaded.error.startsWith("Cannot read the picture " + path + ": " + reason),
             qPrintable(loaded.error));
    // Nothing near the picture's size was ever taken.
    QVERIFY2(maxResidentKb() - residentBefore < 64 * 1024,
             qPrintable(QString::number(maxResidentKb() - residentBefore)));
}

void TestPictureLoader::refusedWithTheReason_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");
    const QString truncated = "the file is truncated";
    const QByteArray palette = saved(palettePicture(37, 11));
    const QByteArray rgb = saved(palettePicture(37, 11).convertToFormat(QImage::Format_RGB32));
    QTest::newRow("cut in the file header") << palette.left(9) << truncated;
    QTest::newRow("cut in the info header") << palette.left(30) << truncated;
    QTest::newRow("cut in the colour table") << palette.left(200) << truncated;
    QTest::newRow("cut after the colour table") << palette.left(54 + 1024) << truncated;
    QTest::newRow("cut in the first row") << palette.left(54 + 1024 + 20) << truncated;
    QTest::newRow("one byte short") << palette.chopped(1) << truncated;
    QTest::newRow("24-bit, half the rows") << rgb.left(rgb.size() / 2) << truncated;
    QTest::newRow("24-bit, one byte short") << rgb.chopped(1) << truncated;
    QByteArray offsetBeyond = palette;
    put32(offsetBeyond, 10, static_cast<quint32>(palette.size() + 100));
    QTest::newRow("pixels start past the end") << offsetBeyond << truncated;
    QTest::newRow("compressed, cut in a run")
        << rleFile(QByteArray("\x04\x01\x00\x00\x03", 5)) << truncated;
    QTest::newRow("compressed, cut in literal pixels")
        << rleFile(QByteArray("\x00\x04\x01\x00", 4)) << truncated;
    QTest::newRow("compressed, cut in a skip")
        << rleFile(QByteArray("\x00\x02\x01", 3)) << truncated;
    QTest::newRow("compressed, no end marker")
        << rleFile(QByteArray("\x04\x01\x00\x00", 4)) << truncated;

    const QString outside = "the file is damaged: its compressed picture data reaches outside";
    QTest::newRow("run past the right edge")
        << rleFile(QByteArray("\x05\x01\x00\x01", 4)) << outside;
    QTest::newRow("literal past the right edge")
        << rleFile(QByteArray("\x02\x01\x00\x03\x01\x01\x01\x00\x00\x01", 10)) << outside;
    QTest::newRow("skip below the last row")
        << rleFile(QByteArray("\x00\x02\x00\x03\x00\x01", 6)) << outside;
    QTest::newRow("pixels after the last row")
        << rleFile(QByteArray("\x00\x00\x00\x00\x01\x01\x00\x01", 8)) << outside;

    QTest::newRow("empty") << QByteArray() << "the file is empty";
    QTest::newRow("text") << QByteArray("hello, world\n") << "not a picture format this program";
    QTest::newRow("only BM") << QByteArray("BM") << truncated;
    QByteArray planes = bmpHeader(10, 10, 8);
    put16(planes, 26, 0);
    QTest::newRow("no colour planes")
        << planes << "the file is damaged: its header gives 0 colour planes";
    QTest::newRow("height 0") << bmpHeader(10, 0, 8)
                              << "the file is damaged: its header gives a size of 10 × 0 pixels";
    QTest::newRow("smallest height") << bmpHeader(10, qint32(0x80000000), 8)
                                     << "the file is damaged: its header gives a size of";
    QTest::newRow("compression for another depth")
        << bmpHeader(10, 10, 24, 1) << "the file is damaged: its compression does not fit";
    QTest::newRow("colour masks on 8 bits")
        << bmpHeader(10, 10, 8, 3) << "the file is damaged: its colour masks do not fit";
    QTest::newRow("unknown compression")
        << bmpHeader(10, 10, 8, 77) << "the file is damaged: its header names an unknown";
    QByteArray inside = bmpHeader(10, 10, 24);
    put32(inside, 10, 20);
    QTest::newRow("pixels inside the header")
        << inside << "the file is damaged: its picture data would start inside its header";

    // Other formats cut short. Qt's readers take a cut JPEG (grey rows) or XBM (undefined
    // rows) for a whole one, so those two get the loader's own check.
    const QImage picture = palettePicture(41, 23).convertToFormat(QImage::Format_RGB32);
    for (const char* format : {"PNG", "JPEG", "XBM", "PPM", "XPM", "ICO"}) {
        const bool jpeg = QByteArrayView(format) == "JPEG";
        const bool xbm = QByteArrayView(format) == "XBM";
        const QByteArray whole =
            saved(xbm ? picture.convertToFormat(QImage::Format_Mono) : picture, format);
        const qsizetype cut =
            jpeg ? whole.lastIndexOf(QByteArrayView("\xff\xda", 2)) + 40 : whole.size() * 9 / 10;
        QTest::addRow("%s cut", format)
            << whole.left(cut)
            << (jpeg || xbm ? "the file is truncated: it ends before the whole picture is there"
                            : "the file is damaged or truncated");
    }
}

void TestPictureLoader::refusedWithTheReason()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);
    const LoadedPicture loaded = PictureLoader::loadFromData(data, QStringLiteral("x.bmp"));
    QVERIFY(!loaded.ok());
    QVERIFY(loaded.image.isNull());
    QVERIFY2(loaded.error.startsWith("Cannot read the picture x.bmp: " + reason),
             qPrintable(loaded.error));
}

void TestPictureLoader::loadsThePicture_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QRgb>>("pixels"); // rows from the top; empty: only the size
    const QRgb b = qRgb(0, 0, 0);
    const QRgb w = qRgb(255, 255, 255);
    // Rows are stored from the bottom: the first row of data is the picture's lower row.
    QTest::newRow("runs") << rleFile(QByteArray("\x04\x01\x00\x00\x02\x00\x02\x01\x00\x01", 10))
                          << QSize(4, 2) << QList<QRgb>{b, b, w, w, w, w, w, w};
    QTest::newRow("literal pixels")
        << rleFile(QByteArray("\x00\x03\x01\x00\x01\x00\x00\x00\x04\x01\x00\x01", 12))
        << QSize(4, 2) << QList<QRgb>{w, w, w, w, w, b, w, b};
    QTest::newRow("skipped pixels take colour 0")
        << rleFile(QByteArray("\x00\x02\x01\x01\x02\x01\x00\x01", 8)) << QSize(4, 2)
        << QList<QRgb>{b, w, w, b, b, b, b, b};
    QTest::newRow("ends early") << rleFile(QByteArray("\x02\x01\x00\x01", 4)) << QSize(4, 2)
                                << QList<QRgb>{b, b, b, b, w, w, b, b};
    QTest::newRow("last row ends without end marker")
        << rleFile(QByteArray("\x04\x01\x00\x00\x04\x01\x00\x00", 8)) << QSize(4, 2)
        << QList<QRgb>{w, w, w, w, w, w, w, w};
    const QImage picture = palettePicture(41, 23).convertToFormat(QImage::Format_RGB32);
    for (const char* format : {"PNG", "JPEG", "XBM", "PPM", "XPM", "ICO"}) {
        const bool xbm = QByteArrayView(format) == "XBM";
        QTest::addRow("%s whole", format)
            << saved(xbm ? picture.convertToFormat(QImage::Format_Mono) : picture, format)
            << QSize(41, 23) << QList<QRgb>{};
    }
    QTest::newRow("JPEG with bytes after its end")
        << saved(picture, "JPEG") + QByteArray(100, '\0') << QSize(41, 23) << QList<QRgb>{};
}

void TestPictureLoader::loadsThePicture()
{
    QFETCH(QByteArray, data);
    QFETCH(QSize, size);
    QFETCH(QList<QRgb>, pixels);
    const LoadedPicture loaded = PictureLoader::loadFromData(data, QStringLiteral("p"));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.image.size(), size);
    if (pixels.isEmpty())
        return;
    const Raster raster = Raster::fromImage(loaded.image);
    QList<QRgb> got;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            got << rgbFromColorValue(raster.point(x, y));
    QCOMPARE(got, pixels);
}

void TestPictureLoader::unreadableFileSaysWhy()
{
    QTemporaryDir dir;
    QCOMPARE(PictureLoader::load(dir.filePath("none.bmp")).error,
             "Cannot read the picture " + dir.filePath("none.bmp") + ": the file does not exist");
    QCOMPARE(PictureLoader::load(dir.path()).error,
             "Cannot read the picture " + dir.path() + ": it is a folder, not a file");
    if (geteuid() == 0)
        QSKIP("permissions do not bind root");
    const QString path = dir.filePath("locked.bmp");
    QVERIFY(testfiles::writeFile(path, saved(palettePicture(3, 3))));
    QFile::setPermissions(path, QFile::WriteOwner);
    const LoadedPicture loaded = PictureLoader::load(path);
    QVERIFY2(loaded.error.startsWith("Cannot read the picture " + path + ": "),
             qPrintable(loaded.error));
    QVERIFY2(loaded.error.contains("ermission"), qPrintable(loaded.error));
}

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
