#include "Raster.h"
#include "Tracer.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QTest>
#include <cstdlib>
#include <random>

using namespace kelviq;

namespace {

using Mask = std::vector<std::vector<bool>>;

// The rules read literally, per pixel: each channel within the tolerance, inverted on request,
// then every 8-connected group under the speck size removed by flood fill.
Mask referenceSelection(const QImage& shown, const TraceSettings& s)
{
    const int w = shown.width();
    const int h = shown.height();
    Mask mask(static_cast<std::size_t>(h), std::vector<bool>(static_cast<std::size_t>(w)));
    const QColor target(qRgb(s.target & 0xff, (s.target >> 8) & 0xff, (s.target >> 16) & 0xff));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QColor c = shown.pixelColor(x, y);
            const bool near = std::abs(c.red() - target.red()) <= s.tolerance &&
                              std::abs(c.green() - target.green()) <= s.tolerance &&
                              std::abs(c.blue() - target.blue()) <= s.tolerance;
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

// Soft-edged blobs and scattered specks over a few colours, the way anti-aliased artwork and
// scans look up close.
QImage artwork(std::mt19937& random, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    const QRgb ink = qRgb(20, 60, 200);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int noise = static_cast<int>(random() % 61) - 30;
            const bool dot = random() % 9 == 0;
            const bool blob = ((x / 5 + y / 4) % 3 == 0);
            auto mix = [&](int a, int b) {
                return std::clamp((blob || dot ? a : b) + noise, 0, 255);
            };
            image.setPixel(x, y,
                           qRgb(mix(qRed(ink), 250), mix(qGreen(ink), 250), mix(qBlue(ink), 245)));
        }
    return image;
}

QImage throughJpeg(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "jpeg").write(image);
    return QImage::fromData(bytes, "jpeg");
}

} // namespace

class TestTracer : public QObject
{
    Q_OBJECT

private slots:
    void selectionFollowsTheRules_data();
    void selectionFollowsTheRules();
    void specksAtTheirEdgeCases();
};

void TestTracer::selectionFollowsTheRules_data()
{
    QTest::addColumn<QImage::Format>("format");
    QTest::addColumn<bool>("jpeg");
    QTest::newRow("32-bit") << QImage::Format_RGB32 << false;
    QTest::newRow("JPEG") << QImage::Format_RGB32 << true;
    QTest::newRow("8-bit palette") << QImage::Format_Indexed8 << false;
    QTest::newRow("grey") << QImage::Format_Grayscale8 << false;
    QTest::newRow("1-bit") << QImage::Format_Mono << false;
}

void TestTracer::selectionFollowsTheRules()
{
    QFETCH(QImage::Format, format);
    QFETCH(bool, jpeg);
    std::mt19937 random(7);
    for (int round = 0; round < 12; ++round) {
        QImage image = artwork(random, 5 + static_cast<int>(random() % 60),
                               1 + static_cast<int>(random() % 40));
        if (jpeg)
            image = throughJpeg(image);
        image = image.convertToFormat(format, Qt::ThresholdDither | Qt::AvoidDither);
        const Raster raster = Raster::fromImage(image);
        const QImage shown = raster.shownImage().convertToFormat(QImage::Format_RGB32);
        const QList<ColorValue> targets = {colorValueFromRgb(shown.pixel(0, 0)), 0xc83c14, 0xf5fafa,
                                           0};
        for (const ColorValue target : targets)
            for (const int tolerance : {0, 1, 30, 48, 255})
                for (const bool invert : {false, true})
                    for (const int despeckle : {0, 1, 2, 5, 40}) {
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

// Groups touching only by a corner are one group; a group of exactly K pixels stays; a group
// cut by the picture's edge counts only what is inside; long thin groups wait many rows.
void TestTracer::specksAtTheirEdgeCases()
{
    const QStringList rows = {
        "X.....XX.X", ".X....XX..", "..X.......", "......X..X", "X.....X..X", "X.....X..X",
    };
    QImage image(rows.first().size(), rows.size(), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y,
                           rows[y][x] == QLatin1Char('X') ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const Raster raster = Raster::fromImage(image);
    for (const int despeckle : {2, 3, 4, 5})
        QCOMPARE(tracedMask(raster, TraceSettings{0, 0, false, despeckle}),
                 referenceSelection(image, TraceSettings{0, 0, false, despeckle}));
}

QTEST_GUILESS_MAIN(TestTracer)

#include "tst_tracer.moc"
