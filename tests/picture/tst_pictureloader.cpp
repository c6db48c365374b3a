// The picture loader on crafted files of every format: whole files give the pixels Qt's reader
// has always given (streamed row by row as the converter reads them, and decoded whole for the
// window), except where every viewer shows them otherwise - there they match a reference
// decoding; damaged, cut or boastful files are refused with their reason, memory limits hold,
// and pictures come from streams too.
#include "picture/ImageRows.h"
#include "picture/LoadControl.h"
#include "picture/PictureLoader.h"
#include "picture/RgbColor.h"
#include "support/RasterPixels.h"
#include "support/RunConverter.h"
#include "support/TestFiles.h"
#include "trace/RunFinder.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <random>
#include <unistd.h>

using namespace kelviq;
using testfiles::pixels;

Q_DECLARE_METATYPE(kelviq::TraceSettings)
Q_DECLARE_METATYPE(kelviq::LoadMode)
using testfiles::runConverter;

namespace {

void put32(QByteArray& data, int at, quint32 value)
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
    qToLittleEndian<quint16>(1, data.data() + 26);
    qToLittleEndian<quint16>(static_cast<quint16>(bits), data.data() + 28);
    put32(data, 30, static_cast<quint32>(compression));
    return data;
}

// An 8-bit run-length file of 4 × 2 pixels; the caller gives the compressed data.
QByteArray rleFile(const QByteArray& pixels)
{
    QByteArray data = bmpHeader(4, 2, 8, 1);
    put32(data, 46, 2); // two colours
    data += QByteArray("\x00\x00\x00\x00\xff\xff\xff\x00", 8);
    put32(data, 10, static_cast<quint32>(data.size()));
    data += pixels;
    put32(data, 2, static_cast<quint32>(data.size()));
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

QByteArray pngChunk(const QByteArray& type, const QByteArray& fields, bool goodCrc = true)
{
    QByteArray length(4, '\0');
    qToBigEndian(quint32(fields.size()), length.data());
    QByteArray crc(4, '\0');
    qToBigEndian(crc32(type + fields) ^ (goodCrc ? 0u : 1u), crc.data());
    return length + type + fields + crc;
}

// A chunk put in before the picture data of a PNG file.
QByteArray withChunk(const QByteArray& png, const QByteArray& chunk)
{
    return png.left(33) + chunk + png.mid(33);
}

// Whole files of every format the loader takes: the picture fuzzer's seeds, by name.
QList<QPair<QString, QByteArray>> wholeFiles()
{
    QList<QPair<QString, QByteArray>> files;
    const QDir seeds(QStringLiteral(KELVIQ_SOURCE_DIR "/fuzz/seeds/fuzz_picture"));
    for (const QString& name : seeds.entryList(QDir::Files, QDir::Name))
        files.append({name, testfiles::readFile(seeds.filePath(name))});
    return files;
}

QByteArray seed(const char* name)
{
    return testfiles::readFile(QStringLiteral(KELVIQ_SOURCE_DIR "/fuzz/seeds/fuzz_picture/") +
                               QLatin1String(name));
}

// The pictures kept beside this test, and their reference decodings made by ImageMagick.
QByteArray dataFile(const QString& name)
{
    return testfiles::readFile(QStringLiteral(KELVIQ_SOURCE_DIR "/tests/picture/data/") + name);
}

// A PNG file of the given rows (each with its filter byte), compressed as zlib does.
QByteArray pngFile(quint32 width, quint32 height, char depth, char colorType,
                   const QByteArray& rows, const QByteArray& chunks = {})
{
    QByteArray fields(13, '\0');
    qToBigEndian(width, fields.data());
    qToBigEndian(height, fields.data() + 4);
    fields[8] = depth;
    fields[9] = colorType;
    return QByteArray("\x89PNG\r\n\x1a\n", 8) + pngChunk("IHDR", fields) + chunks +
           pngChunk("IDAT", qCompress(rows).mid(4)) + pngChunk("IEND", {});
}

// A PNG whose valid header claims the size, with the colour type given and no pixels.
QByteArray pngHeader(quint32 width, quint32 height, char colorType = 6)
{
    return pngFile(width, height, 8, colorType, {}).left(33);
}

// A binary PPM of these pixels, rows from the top.
QByteArray ppm(int width, int height, const QList<QRgb>& pixels)
{
    QByteArray data = QStringLiteral("P6\n%1 %2\n255\n").arg(width).arg(height).toLatin1();
    for (const QRgb pixel : pixels)
        for (const int channel : {qRed(pixel), qGreen(pixel), qBlue(pixel)})
            data += char(channel);
    return data;
}

QByteArray encoded(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return data;
}

QByteArray pngOf(const QImage& image)
{
    return encoded(image, "PNG");
}

// What Qt's reader makes of the bytes, as traced.
std::vector<ColorValue> qtPixels(const QByteArray& data)
{
    QByteArray copy = data;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(false);
    return pixels(rasterFromImage(reader.read()));
}

// Random pixels of a plain bitmap of 1, 4, 8 or 24 bits a pixel.
QImage randomBitmap(std::mt19937& random, int bits, int width, int height)
{
    QImage image(width, height,
                 bits == 1    ? QImage::Format_Mono
                 : bits == 24 ? QImage::Format_RGB32
                              : QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; bits < 24 && i < (1 << bits); ++i)
        table.append(qRgb(i, (i * 7) & 255, 255 - i));
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           bits == 24 ? qRgb(random() % 3, random() % 2 * 255, 7)
                                      : static_cast<uint>(random() % table.size()));
    return image;
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

private slots:
    void wholeFilesGiveQtsPixels_data();
    void wholeFilesGiveQtsPixels();
    void plainBitmapsOfEveryKindAndWidth_data();
    void plainBitmapsOfEveryKindAndWidth();
    void largeOneBitPicture();
    void readAsViewersShowThem_data();
    void readAsViewersShowThem();
    void heldPicturesTraceTheSame_data();
    void heldPicturesTraceTheSame();
    void memoryLimitIsKept_data();
    void memoryLimitIsKept();
    void refusedWithTheReason_data();
    void refusedWithTheReason();
    void damageIsRefusedInEveryFormat_data();
    void damageIsRefusedInEveryFormat();
    void streams_data();
    void streams();
    void unreadableFileSaysWhy_data();
    void unreadableFileSaysWhy();
    void statedDensity_data();
    void statedDensity();
    void countsAndCancels_data();
    void countsAndCancels();
};

void TestPictureLoader::wholeFilesGiveQtsPixels_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<QRgb>>("pixels"); // rows from the top; empty: those of Qt's reader
    for (const auto& [name, data] : wholeFiles())
        QTest::newRow(qPrintable(name)) << data << QList<QRgb>{};
    // Harmless notes are no damage.
    const QByteArray png = seed("seed.png");
    QTest::newRow("PNG with an incorrect colour profile")
        << withChunk(png, pngChunk("iCCP", QByteArray("icc\0\0", 5) + QByteArray(40, 'x')))
        << QList<QRgb>{};
    QTest::newRow("JPEG with bytes after its end")
        << seed("seed.jpg") + QByteArray(100, '\0') << QList<QRgb>{};
    // How Qt has always turned samples into colours: 16 bits rounded to 8, every colour over
    // every transparency painted on white, at 8 and at 16 bits, CMYK, passes of interlaced rows.
    QImage grey16(256, 8, QImage::Format_Grayscale16);
    QImage rgba64(97, 31, QImage::Format_RGBA64);
    std::mt19937 random(11);
    for (int y = 0; y < grey16.height(); ++y)
        for (int x = 0; x < grey16.width(); ++x)
            reinterpret_cast<quint16*>(grey16.scanLine(y))[x] =
                static_cast<quint16>(x * 257 + y - 4);
    for (int y = 0; y < rgba64.height(); ++y)
        for (int x = 0; x < rgba64.width(); ++x)
            rgba64.setPixelColor(x, y,
                                 QColor::fromRgba64(random(), random(), random(),
                                                    x % 7 == 0   ? 0
                                                    : x % 7 == 1 ? 65535
                                                                 : random()));
    QImage overWhite(256, 256, QImage::Format_ARGB32);
    for (int a = 0; a < 256; ++a)
        for (int c = 0; c < 256; ++c)
            overWhite.setPixel(c, a, qRgba(c, 255 - c, c ^ 0x5a, a));
    QTest::newRow("16-bit grey PNG") << pngOf(grey16) << QList<QRgb>{};
    QTest::newRow("16-bit PNG with alpha") << pngOf(rgba64) << QList<QRgb>{};
    QTest::newRow("every colour over every alpha") << pngOf(overWhite) << QList<QRgb>{};
    // (indices beyond a palette show its first colour, as Qt shows them)
    QTest::newRow("palette PNG shorter than its indices")
        << pngFile(5, 1, 2, 3, QByteArray("\0\x1b\xe4", 3), pngChunk("PLTE", "\x10\x20\x30"))
        << QList<QRgb>{};
    QTest::newRow("CMYK JPEG") << dataFile("cmyk.jpg") << QList<QRgb>{};
    QTest::newRow("interlaced PNG with alpha") << dataFile("interlaced.png") << QList<QRgb>{};

    // Colours as shown over white: the pink of half red, white for see-through, black for
    // indices beyond the palette.
    QImage seeThrough(3, 1, QImage::Format_Indexed8);
    seeThrough.setColorTable({qRgba(0, 0, 0, 0), qRgb(0, 0, 0), qRgba(255, 0, 0, 128)});
    for (int x = 0; x < 3; ++x)
        seeThrough.setPixel(x, 0, static_cast<uint>(x));
    const QList<QRgb> shown = {qRgb(255, 255, 255), qRgb(0, 0, 0), qRgb(255, 127, 127)};
    QTest::newRow("see-through PNG")
        << pngOf(seeThrough.convertToFormat(QImage::Format_ARGB32)) << shown;
    QTest::newRow("see-through palette PNG") << pngOf(seeThrough) << shown;
    QByteArray shortPalette = bmpHeader(2, 1, 8) + QByteArray("\x09\x09\x09\0\0\xc8\0\0", 8);
    put32(shortPalette, 2, 62);
    put32(shortPalette, 10, 58);
    put32(shortPalette, 46, 1);
    QTest::newRow("index beyond the palette")
        << shortPalette << QList<QRgb>{qRgb(9, 9, 9), qRgb(0, 0, 0)};
    // A run-length bitmap whose last row ends without the end marker (rows from the bottom).
    const QRgb w = qRgb(255, 255, 255);
    QTest::newRow("last row ends without end marker")
        << rleFile(QByteArray("\x04\x01\x00\x00\x04\x01\x00\x00", 8))
        << QList<QRgb>{w, w, w, w, w, w, w, w};
}

// The pixels are those of Qt's reader, so plots made before stay byte for byte the same;
// streamed and decoded loads agree.
void TestPictureLoader::wholeFilesGiveQtsPixels()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<QRgb>, pixels);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture"));
    QVERIFY(testfiles::writeFile(path, data));
    const LoadResult streamed = PictureLoader::load(path, LoadMode::Stream);
    const LoadResult decoded = PictureLoader::load(path, LoadMode::Decode);
    QVERIFY2(decoded.ok(), qPrintable(decoded.error));
    QVERIFY2(streamed.ok(), qPrintable(streamed.error));
    const std::vector<ColorValue> got = testfiles::pixels(decoded.raster);
    QVERIFY(!got.empty());
    // A pixel of the last row first (a pick), then every row from the top, as a run reads them.
    const Raster& rows = streamed.raster;
    QCOMPARE(rows.point(rows.width() - 1, rows.height() - 1), got.back());
    QVERIFY(testfiles::pixels(rows) == got);
    if (pixels.isEmpty()) {
        QVERIFY(got == qtPixels(data));
    } else {
        QList<QRgb> shown;
        for (const ColorValue value : got)
            shown << rgbFromColorValue(value);
        QCOMPARE(shown, pixels);
    }
}

void TestPictureLoader::plainBitmapsOfEveryKindAndWidth_data()
{
    QTest::addColumn<int>("bits");
    for (const int bits : {1, 4, 8, 24})
        QTest::addRow("%d bits", bits) << bits;
}

// Read row by row from the file (converting) and decoded whole (the window): every row padding
// (widths 1 to 70) and blocks of many rows. (Top-down files: tst_picturecorpus.)
void TestPictureLoader::plainBitmapsOfEveryKindAndWidth()
{
    QFETCH(int, bits);
    QTemporaryDir dir;
    std::mt19937 random(7);
    for (int width = 1; width <= 70; ++width) {
        const int height = width == 70 ? 3000 : 1 + static_cast<int>(random() % 5);
        const QString path = dir.filePath(QStringLiteral("p%1.bmp").arg(width));
        QVERIFY(randomBitmap(random, bits, width, height).save(path, "BMP"));
        QCOMPARE(qFromLittleEndian<quint16>(testfiles::readFile(path).constData() + 28), bits);
        const Raster qt = rasterFromImage(QImageReader(path).read());
        for (const LoadMode mode : {LoadMode::Stream, LoadMode::Decode}) {
            const Raster raster = PictureLoader::load(path, mode).raster;
            QCOMPARE(raster.layout(), qt.layout());
            QVERIFY2(pixels(raster) == pixels(qt), qPrintable(path));
        }
    }
}

// Beyond what Qt's reader takes (16384 pixels a side): read by the loader itself, either way.
void TestPictureLoader::largeOneBitPicture()
{
    const int side = 16385;
    const qint64 stride = (side + 31) / 32 * 4;
    QByteArray data = bmpHeader(side, side, 1) + QByteArray("\0\0\0\0\xff\xff\xff\0", 8);
    put32(data, 2, static_cast<quint32>(62 + stride * side));
    put32(data, 10, 62);
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("large.bmp")));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(data) == 62);
    // Black everywhere but 8 white pixels at the top left, in the file's last row.
    QVERIFY(file.resize(62 + stride * side) && file.seek(62 + stride * (side - 1)));
    QVERIFY(file.write("\xff", 1) == 1);
    file.close();
    for (const LoadMode mode : {LoadMode::Stream, LoadMode::Decode}) {
        const LoadResult loaded = PictureLoader::load(file.fileName(), mode);
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        QCOMPARE(loaded.raster.width(), side);
        QCOMPARE(loaded.raster.height(), side);
        QCOMPARE(loaded.raster.point(7, 0), 0xffffff);
        QCOMPARE(loaded.raster.point(8, 0), 0);
        QCOMPARE(loaded.raster.point(side - 1, side - 1), 0);
    }
}

void TestPictureLoader::readAsViewersShowThem_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("reference"); // the same picture as a PPM
    QTest::addColumn<bool>("turned");
    auto file = [](const char* name, const QString& picture, const QString& reference,
                   bool turned = false) {
        QTest::newRow(name) << dataFile(picture) << dataFile(reference) << turned;
    };
    // 16-bit bitmaps: each channel widened by repeating its high bits (31 -> 255, 16 -> 132).
    file("16-bit 5-5-5", "rgb16-555.bmp", "rgb16-555.ppm");
    file("16-bit 5-5-5 with masks", "rgb16-555-masks.bmp", "rgb16-555-masks.ppm");
    file("16-bit 5-6-5 with masks", "rgb16-565.bmp", "rgb16-565.ppm");
    // Run-length rows as ImageMagick writes them, to the padded width; literal runs of odd
    // length, padded to whole 16-bit words.
    file("ImageMagick RLE8", "im-rle8.bmp", "im-rle8.ppm");
    file("RLE8, odd literal runs", "rle8-odd.bmp", "rle8-odd.ppm");
    file("RLE4, odd literal runs", "rle4-odd.bmp", "rle4-odd.ppm");
    // The screen a GIF's first frame does not cover is transparent: white.
    file("GIF frame smaller than its screen", "gif-offset.gif", "gif-offset.ppm");
    for (int orientation = 1; orientation <= 8; ++orientation) {
        const QString n = QString::number(orientation);
        QTest::addRow("JPEG, EXIF orientation %d", orientation)
            << dataFile("orient-" + n + ".jpg") << dataFile("orient-" + n + ".ppm")
            << (orientation != 1);
        QTest::addRow("PNG, eXIf orientation %d", orientation)
            << dataFile("orient-" + n + ".png") << dataFile("orient-" + n + "-png.ppm")
            << (orientation != 1);
    }
    // Netpbm values scaled rounding to the nearest: value × 255 / largest value.
    const QRgb w = qRgb(255, 255, 255);
    QTest::newRow("PGM of largest value 1000")
        << QByteArray("P5\n3 1\n1000\n\x03\xe7\x01\xf4\x00\x02", 18)
        << ppm(3, 1, {w, qRgb(128, 128, 128), qRgb(1, 1, 1)}) << false;
    QTest::newRow("PGM as text, largest value 7")
        << QByteArray("P2 4 1 7\n7 6 1 0\n")
        << ppm(4, 1, {w, qRgb(219, 219, 219), qRgb(36, 36, 36), qRgb(0, 0, 0)}) << false;
    QTest::newRow("PPM of largest value 99")
        << QByteArray("P6 1 1 99\n\x63\x0a\x31", 13) << ppm(1, 1, {qRgb(255, 26, 126)}) << false;
    QTest::newRow("PBM as text, bits without blanks")
        << QByteArray("P1 3 2\n010\n110\n")
        << ppm(3, 2, {w, qRgb(0, 0, 0), w, qRgb(0, 0, 0), qRgb(0, 0, 0), w}) << false;
}

// Streamed as the converter reads the rows, and decoded whole as the window shows them.
void TestPictureLoader::readAsViewersShowThem()
{
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, reference);
    QFETCH(bool, turned);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture"));
    QVERIFY(testfiles::writeFile(path, data));
    const LoadResult want = PictureLoader::loadFromData(reference, "reference");
    QVERIFY2(want.ok(), qPrintable(want.error));
    for (const LoadMode mode : {LoadMode::Stream, LoadMode::Decode}) {
        const LoadResult loaded = PictureLoader::load(path, mode);
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        QCOMPARE(loaded.turned(), turned);
        QCOMPARE(loaded.raster.width(), want.raster.width());
        QVERIFY(pixels(loaded.raster) == pixels(want.raster));
    }
    // The stored rows, when asked for.
    LoadOptions stored;
    stored.ignoreOrientation = true;
    const LoadResult asStored = PictureLoader::load(path, LoadMode::Stream, stored);
    QVERIFY(!asStored.turned());
    if (turned)
        QVERIFY(pixels(asStored.raster) != pixels(want.raster));
}

void TestPictureLoader::heldPicturesTraceTheSame_data()
{
    QTest::addColumn<TraceSettings>("settings");
    QTest::addColumn<QPoint>("pick"); // (-1, -1): the settings' own colour
    auto row = [](const char* name, TraceSettings settings, QPoint pick = {-1, -1}) {
        QTest::newRow(name) << settings << pick;
    };
    row("black", {0x000000, 0, false, 0});
    row("near red, tolerance 60", {0x3030c0, 60, false, 0});
    row("all but white, tolerance 20", {0xffffff, 20, true, 0});
    row("picked", {0, 0, false, 0}, {3, 2});
    row("picked, tolerance 30, inverted", {0, 30, true, 0}, {1, 9});
}

// Colour pictures that must be held whole for the converter (interlaced, turned) are held a
// byte a pixel as the class of each colour: the runs are those of the full colours.
void TestPictureLoader::heldPicturesTraceTheSame()
{
    QFETCH(TraceSettings, settings);
    QFETCH(QPoint, pick);
    for (const char* name : {"interlaced.png", "orient-6.jpg", "orient-7.png"}) {
        QTemporaryDir dir;
        const QString path = dir.filePath(QLatin1String(name));
        QVERIFY(testfiles::writeFile(path, dataFile(QLatin1String(name))));
        const Raster whole = PictureLoader::load(path, LoadMode::Decode).raster;
        LoadOptions options;
        options.selection = settings;
        if (pick.x() >= 0)
            options.pick = pick;
        const Raster held = PictureLoader::load(path, LoadMode::Stream, options).raster;
        QCOMPARE(held.layout(), Raster::Layout::Indexed);
        TraceSettings traced = settings;
        if (pick.x() >= 0) {
            traced.target = whole.point(pick.x(), pick.y());
            QCOMPARE(held.point(pick.x(), pick.y()), traced.target);
        }
        const RunFinder fromWhole(whole, traced);
        const RunFinder fromHeld(held, traced);
        std::vector<Run> want;
        std::vector<Run> got;
        for (int y = 0; y < whole.height(); ++y) {
            fromWhole.findRuns(y, want);
            fromHeld.findRuns(y, got);
            QVERIFY2(got == want, name);
        }
    }
}

void TestPictureLoader::memoryLimitIsKept_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<LoadMode>("mode");
    QTest::addColumn<qint64>("limit");
    QTest::addColumn<bool>("loads");
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(qRgb(10, 20, 30));
    const QByteArray png = pngOf(image);
    const QByteArray interlaced = dataFile("interlaced.png"); // 13 × 11
    // Held whole for the window: four bytes a pixel; streamed for the converter: nothing held.
    QTest::newRow("PNG decoded, within") << png << LoadMode::Decode << qint64(80000) << true;
    QTest::newRow("PNG decoded, beyond") << png << LoadMode::Decode << qint64(79999) << false;
    QTest::newRow("PNG streamed") << png << LoadMode::Stream << qint64(1) << true;
    // Interlaced: held a byte a pixel by the converter too.
    QTest::newRow("interlaced PNG streamed, within")
        << interlaced << LoadMode::Stream << qint64(16 * 11) << true;
    QTest::newRow("interlaced PNG streamed, beyond")
        << interlaced << LoadMode::Stream << qint64(16 * 11 - 1) << false;
}

// The loader refuses what would take more than its memory limit, before anything is decoded,
// and reserves what it takes.
void TestPictureLoader::memoryLimitIsKept()
{
    QFETCH(QByteArray, data);
    QFETCH(LoadMode, mode);
    QFETCH(qint64, limit);
    QFETCH(bool, loads);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("p.png"));
    QVERIFY(testfiles::writeFile(path, data));
    LoadOptions options;
    options.memoryLimit = limit;
    QList<qint64> reserved;
    options.reserve = [&reserved](qint64 bytes) { reserved << bytes; };
    const LoadResult loaded = PictureLoader::load(path, mode, options);
    QCOMPARE(loaded.ok(), loads);
    QCOMPARE(reserved.size(), loads ? 1 : 0);
    if (!loads)
        QVERIFY2(loaded.error.endsWith("too large for this machine's memory."),
                 qPrintable(loaded.error));
}

void TestPictureLoader::refusedWithTheReason_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("reason");
    const QString truncated = "the file is truncated";
    const QString huge = "the picture is 100000 × 100000 pixels, more than the 2147 million";

    // Sizes beyond reach are refused before anything is taken for them.
    QTest::newRow("BMP 100000 × 100000") << bmpHeader(100000, 100000, 24) << huge;
    QTest::newRow("BMP top-down 100000 × 100000") << bmpHeader(100000, -100000, 32) << huge;
    QTest::newRow("BMP widest row")
        << bmpHeader(2147483647, 1, 1) << "the picture is 2147483647 × 1 pixels";
    QTest::newRow("PNG 100000 × 100000") << pngHeader(100000, 100000) << huge;
    // A GIF's screen of 10 × 10 whose frame claims 60000 × 60000.
    QByteArray gif("GIF89a\x0a\0\x0a\0\x80\0\0\0\0\0\xff\xff\xff,\0\0\0\0", 24);
    gif += QByteArray("\x60\xea\x60\xea\0\x02\x02\x44\x01\0;", 11);
    QTest::newRow("GIF frame 60000 × 60000")
        << gif << "the picture is 60000 × 60000 pixels, more than the 2147 million";
    QTest::newRow("PGM 60000 × 60000")
        << QByteArray("P5\n60000 60000\n255\n")
        << "the picture is 60000 × 60000 pixels, more than the 2147 million";
    QByteArray icon = seed("seed.ico");
    icon = icon.left(22) + pngHeader(100000, 100000);
    put32(icon, 14, static_cast<quint32>(icon.size() - 22));
    QTest::newRow("icon of 16 × 16 holding a PNG of 100000 × 100000") << icon << huge;
    // Files far too small for what they claim are refused once their data runs out.
    QByteArray jpeg = seed("seed.jpg");
    const qsizetype frame = jpeg.indexOf("\xff\xc0");
    qToBigEndian<quint16>(40000, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(40000, jpeg.data() + frame + 7);
    // (on disk: too small to hold it; in memory: damaged where its data ends)
    QTest::newRow("JPEG of 40000 × 40000 in a few bytes") << jpeg << "the file is ";
    // (progressive files also hold every coefficient of the picture while they are read)
    QByteArray interlacedJpeg = seed("seed-progressive.jpg");
    const qsizetype progressiveFrame = interlacedJpeg.indexOf("\xff\xc2");
    qToBigEndian<quint16>(20000, interlacedJpeg.data() + progressiveFrame + 5);
    qToBigEndian<quint16>(20000, interlacedJpeg.data() + progressiveFrame + 7);
    QTest::newRow("progressive JPEG of 20000 × 20000 in a few bytes")
        << interlacedJpeg << "the file is ";
    QTest::newRow("PNG of 30000 × 30000 grey with alpha, little data")
        << pngHeader(30000, 30000, 4) + pngChunk("IDAT", QByteArray("\x78\x9c\x63\x00", 4))
        << truncated;

    // Bitmap structure faults beyond those of the BMP Suite.
    QByteArray offsetBeyond = seed("seed-palette.bmp");
    put32(offsetBeyond, 10, static_cast<quint32>(offsetBeyond.size() + 100));
    QTest::newRow("BMP pixels start past the end") << offsetBeyond << truncated;
    QTest::newRow("unknown compression")
        << bmpHeader(10, 10, 8, 77) << "the file is damaged: its header names an unknown";
    // Cut bitmaps of every depth and header are refused as the common ones are.
    QByteArray bitFields =
        bmpHeader(4, 4, 16, 3) + QByteArray("\0\xf8\0\0\xe0\x07\0\0\x1f\0\0\0", 12);
    put32(bitFields, 10, 66);
    QByteArray os2(26, '\0');
    os2[0] = 'B';
    os2[1] = 'M';
    put32(os2, 10, 26);
    put32(os2, 14, 12);
    qToLittleEndian<quint16>(4, os2.data() + 18);
    qToLittleEndian<quint16>(4, os2.data() + 20);
    qToLittleEndian<quint16>(1, os2.data() + 22);
    qToLittleEndian<quint16>(24, os2.data() + 24);
    for (const auto& [name, header] : {std::pair{"16-bit", bmpHeader(4, 4, 16)},
                                       {"32-bit", bmpHeader(4, 4, 32)},
                                       {"16-bit with colour masks", bitFields},
                                       {"OS/2 24-bit", os2}})
        QTest::addRow("BMP %s, cut", name) << header + QByteArray(20, '\x11') << truncated;

    QTest::newRow("empty") << QByteArray() << "the file is empty";
    QTest::newRow("text") << QByteArray("hello, world\n") << "not a picture format this program";
    QByteArray zeroed = seed("seed.jpg");
    zeroed.replace(zeroed.indexOf("\xff\xda") + 150, 8, QByteArray(8, '\0'));
    QTest::newRow("JPEG with zeroed picture data")
        << zeroed << "the file is damaged: its picture data ends before the last row";
    // Coded data libjpeg steps over with a warning: runs of ones are no Huffman code.
    QByteArray badCode = seed("seed.jpg");
    const qsizetype scan = badCode.indexOf("\xff\xda");
    badCode.replace(scan + 2 + qFromBigEndian<quint16>(badCode.constData() + scan + 2), 8,
                    QByteArray("\xff\0\xff\0\xff\0\xff\0", 8));
    QTest::newRow("JPEG with a bad Huffman code")
        << badCode
        << "the file is damaged: the JPEG decoder reports \"Corrupt JPEG data: bad "
           "Huffman code\"";
    // Damage in the last pass of an interlaced file: its last row's filter is none there is.
    const QByteArray interlaced = dataFile("interlaced.png");
    const qsizetype data = interlaced.indexOf("IDAT");
    QByteArray rows = qUncompress(
        QByteArray("\0\0\x10\0", 4) +
        interlaced.mid(data + 4, qFromBigEndian<quint32>(interlaced.constData() + data - 4)));
    QVERIFY(!rows.isEmpty());
    rows[rows.size() - 13 * 4 - 1] = 9;
    QTest::newRow("interlaced PNG damaged in its last pass")
        << interlaced.left(data - 4) + pngChunk("IDAT", qCompress(rows).mid(4)) +
               pngChunk("IEND", {})
        << "the file is damaged: the PNG decoder reports \"bad adaptive filter value\"";
    QTest::newRow("PGM of largest value 70000")
        << QByteArray("P5\n2 2\n70000\n12345678")
        << "the file is damaged: its header gives 70000 as the largest value";
    const QByteArray png = seed("seed.png");
    QTest::newRow("PNG with a damaged chunk")
        << withChunk(png, pngChunk("tEXt", "Comment\0hello", false))
        << "the file is damaged: the PNG decoder reports \"tEXt: CRC error\"";
    QTest::newRow("XBM with a garbled byte")
        << QByteArray("#define a_width 8\n#define a_height 2\nstatic char a_bits[] = {\n"
                      "0x01, 0xg2 };\n")
        << "the file is damaged: its pixels are not written as bytes";
}

void TestPictureLoader::refusedWithTheReason()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, reason);
    // In memory, and from a file on disk, whose size the loader knows before reading it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.bmp"));
    QVERIFY(testfiles::writeFile(path, data));
    for (const LoadResult& loaded :
         {PictureLoader::loadFromData(data, path), PictureLoader::load(path, LoadMode::Decode)}) {
        QVERIFY(loaded.raster.isNull());
        QVERIFY2(loaded.error.startsWith("Cannot read the picture " + path + ": " + reason),
                 qPrintable(loaded.error));
    }
}

void TestPictureLoader::damageIsRefusedInEveryFormat_data()
{
    QTest::addColumn<QByteArray>("data");
    for (const auto& [name, data] : wholeFiles())
        QTest::newRow(qPrintable(name)) << data;
}

// Cut at many points, zeroed in blocks where the format can tell, or claiming more rows than
// it holds: each file is refused, or gives exactly the whole file's picture.
void TestPictureLoader::damageIsRefusedInEveryFormat()
{
    QFETCH(QByteArray, data);
    const std::vector<ColorValue> whole = pixels(PictureLoader::loadFromData(data, "p").raster);
    QVERIFY(!whole.empty());
    QList<QPair<QString, QByteArray>> damaged;
    for (int i = 0; i < 60; ++i) {
        const qsizetype cut = data.size() * i / 60 + (i % 3);
        if (cut < data.size())
            damaged.append({QStringLiteral("cut at %1").arg(cut), data.left(cut)});
    }
    // Zeroed bytes are always found where checksums tell: in PNG files. (JPEG coded data has
    // none: zeros there are found only where the decoding breaks, as in refusedWithTheReason.)
    const qsizetype checkedFrom = data.startsWith("\x89PNG") ? 8 : data.size();
    for (qsizetype at = checkedFrom; at + 8 < data.size(); at += data.size() / 20) {
        QByteArray zeroed = data;
        zeroed.replace(at, 8, QByteArray(8, '\0'));
        if (zeroed != data)
            damaged.append({QStringLiteral("zeroed at %1").arg(at), zeroed});
    }
    for (const auto& [what, bytes] : damaged) {
        const LoadResult loaded = PictureLoader::loadFromData(bytes, "p");
        if (loaded.ok())
            QVERIFY2(pixels(loaded.raster) == whole, qPrintable(what));
        else
            QVERIFY2(loaded.error.startsWith("Cannot read the picture p: "), qPrintable(what));
    }
}

void TestPictureLoader::streams_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("-, JPEG") << "-" << seed("seed.jpg");
    QTest::newRow("-, PNG") << "-" << seed("seed.png");
    QTest::newRow("/dev/stdin, bitmap") << "/dev/stdin" << seed("seed-palette.bmp");
    // Decoders' notes ("libpng warning: ...") never reach standard error.
    QTest::newRow("-, PNG with an incorrect colour profile")
        << "-"
        << withChunk(seed("seed.png"),
                     pngChunk("iCCP", QByteArray("icc\0\0", 5) + QByteArray(40, 'x')));
}

// Standard input from a pipe, as "-" or by a name (as /dev/stdin, FIFOs and the shell's <(...)
// give), is read once from its start and gives the plot of the file itself.
void TestPictureLoader::streams()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, data);
    QTemporaryDir dir;
    QVERIFY(testfiles::writeFile(dir.filePath("picture"), data));
    const QStringList pick = {"--pick", "1,1", "--output"};
    QCOMPARE(runConverter(dir.path(), pick + QStringList{"file.plt", "picture"}).exitCode, 0);
    const auto piped = runConverter(dir.path(), pick + QStringList{"piped.plt", name}, {}, data);
    QVERIFY2(piped.exitCode == 0 && piped.err.isEmpty(), piped.err.constData());
    const QByteArray plot = testfiles::readFile(dir.filePath("file.plt"));
    QVERIFY(plot.size() > testfiles::PlotHeader.size());
    QCOMPARE(testfiles::readFile(dir.filePath("piped.plt")), plot);
}

void TestPictureLoader::unreadableFileSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    auto row = [](const char* name, const QString& file, const QString& reason) {
        QTest::newRow(name) << file << reason;
    };
    row("folder", ".", "it is a folder, not a file");
    row("loop of links", "loop", "its name leads into a loop of symbolic links");
    row("no permission", "locked.bmp", "Permission denied");
    row("endless zeros", "/dev/zero", "not a picture format this program can read");
}

void TestPictureLoader::unreadableFileSaysWhy()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    if (name == QLatin1String("locked.bmp") && geteuid() == 0)
        QSKIP("permissions do not bind root");
    QTemporaryDir dir;
    QVERIFY(QFile::link(dir.filePath("loop"), dir.filePath("loop")));
    QVERIFY(testfiles::writeFile(dir.filePath("locked.bmp"), "BM"));
    QFile::setPermissions(dir.filePath("locked.bmp"), QFile::WriteOwner);
    const QString path = name.startsWith('/') ? name : dir.filePath(name);
    QCOMPARE(PictureLoader::load(path, LoadMode::Stream).error,
             "Cannot read the picture " + path + ": " + reason + '.');
}

void TestPictureLoader::statedDensity_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<double>("dpiX"); // 0: the file states none
    QTest::addColumn<double>("dpiY");

    const auto phys = [](quint32 x, quint32 y, char unit) {
        QByteArray fields(9, unit);
        qToBigEndian(x, fields.data());
        qToBigEndian(y, fields.data() + 4);
        // The seed's own pHYs (72 dpi) follows its header.
        const QByteArray png = seed("seed.png");
        return png.left(33) + pngChunk("pHYs", fields) + png.mid(33 + 21);
    };
    QTest::newRow("PNG, 300 dpi as 11811 per metre") << phys(11811, 11811, 1) << 300.0 << 300.0;
    QTest::newRow("PNG, 96 × 192 dpi") << phys(3780, 7559, 1) << 96.0 << 192.0;
    QTest::newRow("PNG, per metre not a whole dpi") << phys(10000, 10000, 1) << 254.0 << 254.0;
    QTest::newRow("PNG, 11800 per metre") << phys(11800, 11800, 1) << 299.72 << 299.72;
    QTest::newRow("PNG, aspect ratio only") << phys(11811, 11811, 0) << 0.0 << 0.0;
    QTest::newRow("PNG without pHYs")
        << seed("seed.png").left(33) + seed("seed.png").mid(33 + 21) << 0.0 << 0.0;
    QByteArray bmp = seed("seed-24bit.bmp");
    put32(bmp, 38, 11811);
    put32(bmp, 42, 11811);
    QTest::newRow("BMP, 300 dpi") << bmp << 300.0 << 300.0;
    put32(bmp, 38, 0);
    QTest::newRow("BMP, none across") << bmp << 0.0 << 0.0;
    QByteArray jpeg = seed("seed.jpg");
    QTest::newRow("JPEG, 96 dpi") << jpeg << 96.0 << 96.0;
    jpeg[13] = 2; // dots per centimetre
    jpeg[15] = 118;
    jpeg[17] = 118;
    QTest::newRow("JPEG, 118 per cm") << jpeg << 299.72 << 299.72;
    jpeg[13] = 0;
    QTest::newRow("JPEG, aspect ratio only") << jpeg << 0.0 << 0.0;
    // Stated across and down the stored rows: a picture shown turned a quarter swaps them.
    QByteArray turned = dataFile("orient-6.jpg");
    turned[13] = 1; // dots per inch
    turned[15] = 100;
    turned[17] = char(200);
    QTest::newRow("JPEG turned by its EXIF orientation") << turned << 200.0 << 100.0;
    QTest::newRow("GIF") << seed("seed.gif") << 0.0 << 0.0;
}

// Only a density the file really states counts, in either mode of loading.
void TestPictureLoader::statedDensity()
{
    QFETCH(QByteArray, data);
    QFETCH(double, dpiX);
    QFETCH(double, dpiY);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture"));
    QVERIFY(testfiles::writeFile(path, data));
    for (const LoadMode mode : {LoadMode::Stream, LoadMode::Decode}) {
        const LoadResult loaded = PictureLoader::load(path, mode);
        QVERIFY2(loaded.ok(), qPrintable(loaded.error));
        QCOMPARE(loaded.density.stated(), dpiX > 0);
        QVERIFY2(std::abs(loaded.density.dpiX - dpiX) < 1e-9 &&
                     std::abs(loaded.density.dpiY - dpiY) < 1e-9,
                 qPrintable(QString("%1 × %2").arg(loaded.density.dpiX).arg(loaded.density.dpiY)));
    }
}

void TestPictureLoader::countsAndCancels_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("readings"); // how many times the file is read through

    QImage noise(300, 200, QImage::Format_RGB32);
    std::mt19937 random(5);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.setPixel(x, y, random());
    QTest::newRow("plain bitmap") << encoded(noise, "BMP") << 1;
    QTest::newRow("PNG") << pngOf(noise) << 1;
    QTest::newRow("run-length bitmap") << seed("seed-rle.bmp") << 1;
    QTest::newRow("progressive JPEG") << seed("seed-progressive.jpg") << 1;
    QTest::newRow("interlaced GIF") << seed("seed-interlaced.gif") << 1;
    QTest::newRow("XPM, read again by Qt's reader") << seed("seed.xpm") << 2;
}

// A watched load counts every byte it reads, a second reading too, against the total it
// expects; a cancelled one stops and says so.
void TestPictureLoader::countsAndCancels()
{
    QFETCH(QByteArray, data);
    QFETCH(int, readings);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("picture"));
    QVERIFY(testfiles::writeFile(path, data));

    LoadControl watched;
    LoadOptions options;
    options.control = &watched;
    QVERIFY(PictureLoader::load(path, LoadMode::Decode, options).ok());
    QCOMPARE(watched.total.load(), data.size() * readings);
    // A plain bitmap's first block is read twice; a decoder may stop before trailing bytes.
    QVERIFY2(watched.done > watched.total * 9 / 10 && watched.done <= watched.total + 65536,
             qPrintable(QString::number(watched.done)));

    LoadControl cancelled;
    cancelled.cancel = true;
    options.control = &cancelled;
    const LoadResult loaded = PictureLoader::load(path, LoadMode::Decode, options);
    QVERIFY(loaded.raster.isNull());
    QCOMPARE(loaded.error,
             "Cannot read the picture " + path + ": " + PictureLoader::cancelledText() + ".");
}

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"
