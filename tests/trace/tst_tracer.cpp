// Which pixels are traced: the fast paths of every picture layout, the tolerance, the inversion
// and speck removal against the rules read literally. (The colours pixels are traced as:
// tst_pictureloader.)
#include "picture/ImageRows.h"
#include "picture/RgbColor.h"
#include "trace/Raster.h"
#include "trace/Tracer.h"

#include <QPainter>
#include <QTest>
#include <cstdlib>
#include <random>

using namespace kelviq;

namespace {

using Mask = std::vector<std::vector<bool>>;

// The picture as it looks painted on white: what colours are compared as.
QImage overWhite(const QImage& image)
{
    QImage shown(image.size(), QImage::Format_RGB32);
    shown.fill(Qt::white);
    QPainter(&shown).drawImage(0, 0, image);
    return shown;
}

// The rules read literally, per pixel: each channel within the tolerance, inverted on request,
// then every 8-connected group under the speck size removed by flood fill.
Mask referenceSelection(const QImage& shown, const TraceSettings& s)
{
    const int w = shown.width();
    const int h = shown.height();
    Mask mask(static_cast<std::size_t>(h), std::vector<bool>(static_cast<std::size_t>(w)));
    const QRgb target = qRgb(s.target & 0xff, (s.target >> 8) & 0xff, (s.target >> 16) & 0xff);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QRgb c = shown.pixel(x, y);
            const bool near = s.target != NoColor &&
                              std::abs(qRed(c) - qRed(target)) <= s.tolerance &&
                              std::abs(qGreen(c) - qGreen(target)) <= s.tolerance &&
                              std::abs(qBlue(c) - qBlue(target)) <= s.tolerance;
            mask[y][x] = near != s.invert;
        }
    Mask seen(mask.size(), std::vector<bool>(static_cast<std::size_t>(w)));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!mask[y][x] || seen[y][x])
                continue;
            std::vector<QPoint> group{{x, y}};
            seen[y][x] = true;
            for (std::size_t i = 0; i < group.size(); ++i)
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = group[i].x() + dx;
                        const int ny = group[i].y() + dy;
                        if (nx >= 0 && ny >= 0 && nx < w && ny < h && mask[ny][nx] &&
                            !seen[ny][nx]) {
                            seen[ny][nx] = true;
                            group.push_back({nx, ny});
                        }
                    }
            if (static_cast<qint64>(group.size()) < s.despeckle)
                for (const QPoint& p : group)
                    mask[p.y()][p.x()] = false;
        }
    return mask;
}

Mask tracedMask(const Raster& raster, const TraceSettings& settings)
{
    Mask mask(static_cast<std::size_t>(raster.height()),
              std::vector<bool>(static_cast<std::size_t>(raster.width())));
    Tracer tracer(raster, settings);
    std::vector<Run> runs;
    int y = 0;
    int expectedRow = 0;
    while (tracer.nextRow(y, runs)) {
        if (y != expectedRow++)
            return {}; // rows must come once each, in order
        for (const Run& run : runs)
            for (int x = run.begin; x < run.end; ++x)
                mask[y][x] = true;
    }
    return expectedRow == raster.height() ? mask : Mask{};
}

// A few colours a single bit apart, so that exact runs form; see-through ones; soft blobs and
// scattered specks of noisy ink, the way anti-aliased artwork and scans look up close. Sparse
// pictures have one long black run a row, across many 64-pixel words.
QImage randomPicture(std::mt19937& random, QImage::Format format, int width, int height,
                     bool sparse)
{
    static const QList<QRgb> colors = {qRgb(0, 0, 0),     qRgb(255, 255, 255),
                                       qRgb(0, 0, 1),     qRgb(128, 0, 0),
                                       qRgba(0, 0, 0, 0), qRgba(10, 20, 30, 128)};
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        const int begin = static_cast<int>(random() % width);
        const int end = begin + static_cast<int>(random() % (width - begin + 1));
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random() % 61) - 30;
            const bool ink = (x / 5 + y / 4) % 3 == 0 || random() % 9 == 0;
            if (sparse)
                image.setPixel(x, y, x >= begin && x < end ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
            else if (ink)
                image.setPixel(x, y,
                               qRgb(std::clamp(20 + noise, 0, 255), std::clamp(60 + noise, 0, 255),
                                    std::clamp(200 + noise, 0, 255)));
            else
                image.setPixel(x, y, colors[random() % colors.size()]);
        }
    }
    return image.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither);
}

} // namespace

class TestTracer : public QObject
{
    Q_OBJECT

private slots:
    void selectionFollowsTheRules_data();
    void selectionFollowsTheRules();
};

void TestTracer::selectionFollowsTheRules_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::newRow("1-bit") << QImage::Format_Mono;
    QTest::newRow("1-bit LSB first") << QImage::Format_MonoLSB;
    QTest::newRow("8-bit palette") << QImage::Format_Indexed8;
    QTest::newRow("8-bit grey") << QImage::Format_Grayscale8;
    QTest::newRow("32-bit") << QImage::Format_RGB32;
    QTest::newRow("32-bit with alpha") << QImage::Format_ARGB32;
    QTest::newRow("24-bit") << QImage::Format_RGB888;
    QTest::newRow("16-bit") << QImage::Format_RGB16;
}

void TestTracer::selectionFollowsTheRules()
{
    QFETCH(QImage::Format, format);
    std::mt19937 random(7);
    for (int round = 0; round < 10; ++round) {
        // Widths around byte, 16-pixel and 64-bit word boundaries matter for the fast paths.
        // Groups touching by a corner only, of exactly K pixels, or cut by the edge all occur.
        const int width =
            1 + static_cast<int>(random() % (round % 3 == 0 ? 20 : 200 * (round % 3)));
        const QImage image =
            randomPicture(random, format, width, 1 + int(random() % 30), round % 3 == 2);
        const Raster raster = rasterFromImage(image);
        const QImage shown = overWhite(image);
        const QList<ColorValue> targets = {
            colorValueFromRgb(shown.pixel(0, 0)), 0xc83c14, 0, 0xffffff, 0x010000, NoColor};
        for (const ColorValue target : targets)
            for (const int tolerance : {0, 1, 30, 255})
                for (const bool invert : {false, true})
                    for (const int despeckle : {0, 2, 5, 40}) {
                        const TraceSettings settings{target, tolerance, invert, despeckle};
                        QVERIFY2(
                            tracedMask(raster, settings) == referenceSelection(shown, settings),
                            qPrintable(QStringLiteral("round %1 target %2 tolerance %3 invert %4 "
                                                      "specks %5")
                                           .arg(round)
                                           .arg(target, 6, 16)
                                           .arg(tolerance)
                                           .arg(invert)
                                           .arg(despeckle)));
                    }
    }
}

QTEST_GUILESS_MAIN(TestTracer)
#include "tst_tracer.moc"
