// Filled outlines as the files hold them: read back and filled by this test's own rule against
// the traced pixels' squares, both sides, odd scales; drawn by gerbv and rsvg-convert to the
// render pixel (lines drawn by them too); the layer each file names.
#include "run/ConversionRun.h"
#include "support/FakeFrontEnd.h"
#include "support/RecordingPlatform.h"
#include "support/TestFiles.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <functional>
#include <random>

using namespace kelviq;

namespace {

// One filled thing - a Gerber region, a KiCad polygon, an SVG path (even-odd) - as contours
// of corners on the pixel grid: x the column boundary along the plot's X, y the grid line
// from the top.
struct Filled
{
    std::vector<std::vector<QPointF>> contours;
    bool evenOdd = false;
};

QImage picture(int width, int height, const std::function<bool(int, int)>& traced)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, traced(x, y) ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

QImage pictureOf(const QStringList& rows)
{
    return picture(int(rows[0].size()), int(rows.size()),
                   [&rows](int x, int y) { return rows[y][x] == '#'; });
}

// The file written into folder.
QByteArray convert(const QImage& image, const QString& scale, PlotFormat format, PlotStyle style,
                   const QString& folder)
{
    FakeFrontEnd frontEnd;
    frontEnd.image = image;
    frontEnd.scale = scale;
    RecordingPlatform platform;
    ConversionRun run(frontEnd, platform);
    const std::string_view extension = plotformat::extension(format);
    run.setOutputPath(folder + "/plot" +
                      QString::fromUtf8(extension.data(), qsizetype(extension.size())));
    run.setFormat(format);
    run.setStyle(style);
    const RunResult result = run.run();
    return result.outcome == RunOutcome::Written ? testfiles::readFile(result.outputPath)
                                                 : QByteArray();
}

// Each file's corners as plot units, then on the grid. Gerber: G36 starts a region, D02 a
// contour, micro-inches, only the coordinate that changes given. KiCad: fp_poly, then xy in mm
// about the area's centre, Y down. SVG: path, then M, H and V in mils, Y up.
std::vector<Filled> read(PlotFormat format, const QByteArray& text, const QImage& image,
                         double unit)
{
    static const QRegularExpression tokens[] = {
        QRegularExpression("(G36)|(?:X(-?\\d+))?(?:Y(-?\\d+))?D0([12])"),
        QRegularExpression("(\\(fp_poly)|\\(xy ([-\\d.]+) ([-\\d.]+)"),
        QRegularExpression("(<path)|M([-\\d.]+) ([-\\d.]+)|H([-\\d.]+)|V([-\\d.]+)")};
    const bool kicad = format == PlotFormat::Kicad;
    const double k = format == PlotFormat::Gerber ? 0.1 : kicad ? 1 / 0.000254 : 100;
    auto x = [&](const QString& v) {
        return (v.toDouble() * k + (kicad ? image.width() * unit / 2 : 0)) / unit;
    };
    auto y = [&](const QString& v) {
        const double plotY = format == PlotFormat::Gerber ? v.toDouble() * k
                             : kicad ? (image.height() - 1) * unit / 2 - v.toDouble() * k
                                     : -v.toDouble() * k;
        return image.height() - 0.5 - plotY / unit;
    };
    std::vector<Filled> filled;
    QPointF at;
    for (auto it = tokens[int(format) - 1].globalMatch(QString::fromLatin1(text)); it.hasNext();) {
        const auto m = it.next();
        if (m.capturedLength(1)) {
            filled.push_back({{}, format == PlotFormat::Svg});
            if (kicad)
                filled.back().contours.emplace_back();
            continue;
        }
        if (m.capturedLength(2))
            at.setX(x(m.captured(2)));
        if (m.capturedLength(3))
            at.setY(y(m.captured(3)));
        if (format == PlotFormat::Svg && m.capturedLength(4))
            at.setX(x(m.captured(4)));
        if (format == PlotFormat::Svg && m.capturedLength(5))
            at.setY(y(m.captured(5)));
        if (format == PlotFormat::Gerber ? m.captured(4) == "2"
                                         : format == PlotFormat::Svg && m.capturedLength(2))
            filled.back().contours.emplace_back();
        filled.back().contours.back().push_back(at);
    }
    for (Filled& f : filled) // Gerber contours end where they began
        for (auto& c : f.contours)
            if (format == PlotFormat::Gerber)
                c.back() == c.front() ? c.pop_back() : c.clear();
    return filled;
}

// Exactly the pixels' squares: corners on the grid (to the file's rounding), edges along it,
// each traced pixel's centre filled once and no other, mirrored on the bottom; outlines
// counter-clockwise and holes clockwise as the plot is seen - the grid's Y down turns that
// round, so their areas add up to minus the pixels'. Filled row by row along the centres.
void checkFilled(const std::vector<Filled>& filled, const QImage& image, double unit, bool bottom)
{
    const int w = image.width();
    struct Crossing
    {
        double x;
        int turn;
        std::size_t filled;
    };
    std::vector<std::vector<Crossing>> rows(static_cast<std::size_t>(image.height()));
    double area = 0;
    for (std::size_t f = 0; f < filled.size(); ++f)
        for (const auto& c : filled[f].contours)
            for (std::size_t i = 0; i < c.size(); ++i) {
                const QPointF a(std::round(c[i].x()), std::round(c[i].y()));
                const QPointF next = c[(i + 1) % c.size()];
                const QPointF b(std::round(next.x()), std::round(next.y()));
                QVERIFY2((c[i] - a).manhattanLength() * std::abs(unit) < 0.06, "off the grid");
                QVERIFY(c.size() >= 4 && (a.x() == b.x()) != (a.y() == b.y()));
                QVERIFY(a.x() >= 0 && a.x() <= w && a.y() >= 0 && a.y() <= image.height());
                area += a.x() * b.y() - b.x() * a.y();
                for (int r = int(std::min(a.y(), b.y()));
                     a.x() == b.x() && r < std::max(a.y(), b.y()); ++r)
                    rows[std::size_t(r)].push_back({a.x(), b.y() < a.y() ? 1 : -1, f});
            }
    int traced = 0;
    std::vector<int> wound(filled.size());
    for (int r = 0; r < image.height(); ++r) {
        auto& crossings = rows[std::size_t(r)];
        std::sort(crossings.begin(), crossings.end(), [](auto& a, auto& b) { return a.x > b.x; });
        std::fill(wound.begin(), wound.end(), 0);
        int covered = 0;
        std::size_t next = 0;
        for (int k = w - 1; k >= 0; --k) { // from the right
            for (; next < crossings.size() && crossings[next].x > k + 0.5; ++next) {
                const bool evenOdd = filled[crossings[next].filled].evenOdd;
                int& n = wound[crossings[next].filled];
                covered -= evenOdd ? std::abs(n) % 2 : n;
                n += crossings[next].turn;
                covered += evenOdd ? std::abs(n) % 2 : n;
            }
            const bool isTraced = image.pixel(bottom ? w - 1 - k : k, r) == qRgb(0, 0, 0);
            traced += isTraced;
            QVERIFY2(covered == int(isTraced), qPrintable(QString("row %1, %2").arg(r).arg(k)));
        }
    }
    QCOMPARE(area / 2, double(-traced));
}

} // namespace

class TestOutlineFormats : public QObject
{
    Q_OBJECT

private slots:
    void filledExactly_data();
    void filledExactly();
    void readersDrawExactly_data();
    void readersDrawExactly();
    void layerAndSide_data();
    void layerAndSide();

private:
    QTemporaryDir m_dir;
};

void TestOutlineFormats::filledExactly_data()
{
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<QString>("scale");
    QTest::addColumn<bool>("bottom");
    for (const PlotFormat format : {PlotFormat::Gerber, PlotFormat::Kicad, PlotFormat::Svg})
        for (const char* scale : {"2", "0.333", "12.7"})
            for (const bool bottom : {false, true})
                QTest::addRow("%s, %s, %s", plotformat::name(format).data(), scale,
                              bottom ? "bottom" : "top")
                    << format << QString(scale) << bottom;
}

// Random pictures, full of holes, islands and pinch points; one dense enough that an SVG path
// is cut into bands.
void TestOutlineFormats::filledExactly()
{
    QFETCH(PlotFormat, format);
    QFETCH(QString, scale);
    QFETCH(bool, bottom);
    // Pinch points: an outline and a hole passing a corner twice.
    std::vector<QImage> pictures = {pictureOf({"###", "#.#", "##."}),
                                    pictureOf({"#####", "#.###", "##.##", "#####"})};
    std::mt19937 random(11);
    auto noise = [&random](int, int) { return random() % 100 < 60; };
    for (int i = 0; i < 20; ++i) {
        const int width = 1 + int(random() % 24);
        pictures.push_back(picture(width, 1 + int(random() % 16), noise));
    }
    if (format == PlotFormat::Svg && scale == "2")
        pictures.push_back(picture(400, 400, [&random](int, int) { return random() % 10 < 7; }));
    for (const QImage& image : pictures) {
        const QByteArray text = convert(image, scale, format,
                                        {PlotShape::Outline, BoardSide(bottom), {}}, m_dir.path());
        const double unit = scale.toDouble() * 100;
        checkFilled(read(format, text, image, unit), image, unit, bottom);
        if (QTest::currentTestFailed())
            QFAIL(text.left(3000).constData());
    }
}

void TestOutlineFormats::readersDrawExactly_data()
{
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<bool>("bottom");
    QTest::addColumn<QString>("reader");
    QTest::addColumn<PlotShape>("shape");
    // 24 × 16 pixels of 2 mils, 8 render pixels each.
    const QString gerbv = "gerbv --export=png --dpi=4000 --border=0 --origin=0x-0.001 "
                          "--window_inch=0.048x0.032 --background=#FFFFFF --foreground=#000000";
    const QString rsvg = "rsvg-convert --width=192 --height=128";
    for (const bool bottom : {false, true}) {
        const char* side = bottom ? "bottom" : "top";
        QTest::addRow("gerbv, %s", side)
            << PlotFormat::Gerber << bottom << gerbv << PlotShape::Outline;
        QTest::addRow("rsvg-convert, %s", side)
            << PlotFormat::Svg << bottom << rsvg << PlotShape::Outline;
    }
    // Lines 10 mils thick overrun their rows: drawn without a word is all that is asked.
    QTest::newRow("gerbv, lines") << PlotFormat::Gerber << false << gerbv << PlotShape::Lines;
    QTest::newRow("rsvg-convert, lines") << PlotFormat::Svg << false << rsvg << PlotShape::Lines;
}

// Readers nobody here wrote draw the files without a word, and for outlines each render pixel
// farther than one render pixel from a square's edge is dark inside the traced squares, light
// outside.
void TestOutlineFormats::readersDrawExactly()
{
    QFETCH(PlotFormat, format);
    QFETCH(bool, bottom);
    QFETCH(QString, reader);
    QFETCH(PlotShape, shape);
    std::mt19937 random(5);
    const QImage image = picture(24, 16, [&random](int, int) { return random() % 100 < 55; });
    const QString png = m_dir.filePath("drawn.png");
    QVERIFY(!convert(image, "2", format, {shape, BoardSide(bottom), {}}, m_dir.path()).isEmpty());
    const QString file = m_dir.filePath(format == PlotFormat::Svg ? "plot.svg" : "plot.gbr");
    QProcess process;
    QStringList arguments = reader.split(' ') << "--output=" + png << file;
    process.start(arguments.takeFirst(), arguments);
    QVERIFY2(process.waitForFinished(60000), "the reader is missing or hangs: make installs it");
    const QByteArray said = process.readAllStandardError() + process.readAllStandardOutput();
    QVERIFY2(process.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());
    const QImage drawn(png);
    QCOMPARE(drawn.size(), QSize(192, 128));
    if (shape == PlotShape::Lines)
        return;
    auto traced = [&](int x, int y) {
        const int column = bottom ? 23 - x / 8 : x / 8;
        return x >= 0 && y >= 0 && x < 192 && y < 128 &&
               image.pixel(column, y / 8) == qRgb(0, 0, 0);
    };
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 192; ++x) {
            bool sure = true;
            for (int n = 0; n < 9; ++n)
                sure = sure && traced(x - 1 + n % 3, y - 1 + n / 3) == traced(x, y);
            const QRgb p = drawn.pixel(x, y);
            QVERIFY(!sure || (qAlpha(p) > 128 && qGray(p) < 128) == traced(x, y));
        }
}

void TestOutlineFormats::layerAndSide_data()
{
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<PlotStyle>("style");
    QTest::addColumn<QByteArray>("line"); // one the file holds; !line: none starting so
    using S = PlotShape;
    using L = BoardLayer;
    const BoardSide top = BoardSide::Top;
    const BoardSide bottom = BoardSide::Bottom;
    auto row = [](const char* name, PlotFormat format, PlotStyle style, const char* line) {
        QTest::newRow(name) << format << style << QByteArray(line);
    };
    row("gerber lines, top silkscreen: as always", PlotFormat::Gerber, {}, "!G04 #@!");
    row("gerber outline, top silkscreen", PlotFormat::Gerber, {S::Outline, top, L::Silkscreen},
        "G04 #@! TF.FileFunction,Legend,Top*");
    row("gerber lines, bottom", PlotFormat::Gerber, {S::Lines, bottom, L::Silkscreen},
        "G04 #@! TF.FileFunction,Legend,Bot*");
    row("gerber lines, mask", PlotFormat::Gerber, {S::Lines, top, L::Mask},
        "G04 #@! TF.FileFunction,Soldermask,Top*");
    row("gerber outline, bottom copper", PlotFormat::Gerber, {S::Outline, bottom, L::Copper},
        "G04 #@! TF.FileFunction,Copper,L2,Bot*");
    row("gerber lines, top copper", PlotFormat::Gerber, {S::Lines, top, L::Copper},
        "G04 #@! TF.FileFunction,Copper,L1,Top*");
    row("svg names no layer", PlotFormat::Svg, {S::Outline, bottom, L::Copper},
        "<path fill=\"#000000\" fill-rule=\"evenodd\" d=\"M4 -1H2V1H4Z\"/>");
    row("kicad lines, bottom", PlotFormat::Kicad, {S::Lines, bottom, L::Silkscreen},
        "  (fp_line (start 0 0) (end 0.0508 0) (layer \"B.SilkS\") (width 0.254))");
    row("kicad outline, top copper", PlotFormat::Kicad, {S::Outline, top, L::Copper},
        "    ) (layer \"F.Cu\") (width 0) (fill solid))");
}

// The left pixel of two.
void TestOutlineFormats::layerAndSide()
{
    QFETCH(PlotFormat, format);
    QFETCH(PlotStyle, style);
    QFETCH(QByteArray, line);
    const QList<QByteArray> lines =
        convert(pictureOf({"#."}), "2", format, style, m_dir.path()).split('\n');
    QVERIFY(lines.size() > 3);
    for (const QByteArray& l : lines)
        QVERIFY(!line.startsWith('!') || !l.startsWith(line.mid(1)));
    QVERIFY2(line.startsWith('!') || lines.contains(line), lines.join('\n').constData());
}

QTEST_GUILESS_MAIN(TestOutlineFormats)

#include "tst_outlineformats.moc"
