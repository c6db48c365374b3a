// Filled outlines as the files hold them: every format that holds them read back and filled
// by this test's own rule against the traced pixels' squares, on both board sides and at odd
// scales; gerbv and rsvg-convert drawing them to the render pixel; the layer each file names.
#include "run/ConversionRun.h"
#include "support/FakeFrontEnd.h"
#include "support/RecordingPlatform.h"
#include "support/TestFiles.h"

#include <QPointF>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <cmath>
#include <random>

using namespace kelviq;

namespace {

using Contour2 = std::vector<QPointF>;

// What a file fills, in plot units: SVG paths by the even-odd rule over their subpaths; Gerber
// regions and KiCad polygons as the union of their contours, each filled on its own.
struct Filled
{
    std::vector<Contour2> contours;
    bool evenOdd = false;
};

// Pictures as text, '#' traced.
QImage pictureOf(const QStringList& rows)
{
    QImage image(int(rows[0].size()), int(rows.size()), QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, rows[y][x] == '#' ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

QImage randomPicture(std::mt19937& random, int width, int height, unsigned percentTraced)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           random() % 100 < percentTraced ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    return image;
}

QByteArray convert(const QImage& image, const QString& scale, PlotFormat format,
                   const PlotStyle& style, const QString& path)
{
    FakeFrontEnd frontEnd;
    frontEnd.image = image;
    frontEnd.scale = scale;
    RecordingPlatform platform;
    ConversionRun run(frontEnd, platform);
    run.setOutputPath(path);
    run.setFormat(format);
    run.setStyle(style);
    run.setDesignName(QStringLiteral("logo"));
    return run.run().outcome == RunOutcome::Written ? testfiles::readFile(path) : QByteArray();
}

// Micro-inches to plot units; only the coordinate that changes may be given. Each contour
// must end where it began.
std::vector<Filled> readGerber(const QByteArray& text)
{
    std::vector<Filled> filled;
    static const QRegularExpression op(QStringLiteral("^(?:X(-?\\d+))?(?:Y(-?\\d+))?D0([12])\\*$"));
    QPointF at;
    for (const QString& line : QString::fromLatin1(text).split(QLatin1Char('\n'))) {
        const auto m = op.match(line);
        if (line == QLatin1String("G36*"))
            filled.emplace_back();
        else if (m.hasMatch() && !filled.empty()) {
            if (m.capturedLength(1))
                at.setX(m.captured(1).toDouble() / 10);
            if (m.capturedLength(2))
                at.setY(m.captured(2).toDouble() / 10);
            if (m.captured(3) == QLatin1String("2"))
                filled.back().contours.emplace_back();
            filled.back().contours.back().push_back(at);
        }
    }
    for (Filled& f : filled)
        for (Contour2& c : f.contours)
            c.back() == c.front() ? c.pop_back() : c.clear();
    return filled;
}

// Millimetres about the area's centre, Y down; every polygon solid, of no width, on `layer`.
std::vector<Filled> readKicad(const QByteArray& text, QPointF centre, const QString& layer)
{
    std::vector<Filled> filled;
    const QString tail = QStringLiteral(") (layer \"%1\") (width 0) (fill solid))").arg(layer);
    static const QRegularExpression xy(QStringLiteral("\\(xy (\\S+) (\\S+)\\)"));
    const QStringList polygons = QString::fromLatin1(text).split(QStringLiteral("(fp_poly (pts"));
    for (qsizetype i = 1; i < polygons.size(); ++i) {
        const QString body = polygons[i].left(polygons[i].indexOf(tail));
        filled.push_back({{{}}, false});
        if (body.size() == polygons[i].size())
            continue; // the tail is missing: an empty contour fails the check
        for (auto it = xy.globalMatch(body); it.hasNext();) {
            const auto m = it.next();
            filled.back().contours[0].push_back({m.captured(1).toDouble() / 0.000254 + centre.x(),
                                                 centre.y() - m.captured(2).toDouble() / 0.000254});
        }
    }
    return filled;
}

// Mils, Y flipped; paths of M, H, V and Z, filled by the even-odd rule, no stroke.
std::vector<Filled> readSvg(const QByteArray& text)
{
    std::vector<Filled> filled;
    QXmlStreamReader xml(text);
    static const QRegularExpression token(QStringLiteral("([MHVZ])|(-?[0-9.]+)"));
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("path"))
            continue;
        const QXmlStreamAttributes a = xml.attributes();
        if (a.value(QLatin1String("fill-rule")) != QLatin1String("evenodd") ||
            a.hasAttribute(QLatin1String("stroke")))
            return {};
        filled.push_back({{}, true});
        QChar command;
        QPointF at;
        bool second = false; // M's y
        for (auto it = token.globalMatch(a.value(QLatin1String("d"))); it.hasNext();) {
            const auto m = it.next();
            if (m.capturedLength(1)) {
                command = m.captured(1)[0];
                if (command == QLatin1Char('M'))
                    filled.back().contours.emplace_back();
                second = false;
                continue;
            }
            const double v = m.captured(2).toDouble() * 100;
            if (command == QLatin1Char('M') && !second) {
                at.setX(v);
                second = true;
                continue;
            }
            command == QLatin1Char('H') ? at.setX(v) : at.setY(-v);
            filled.back().contours.back().push_back(at);
        }
    }
    return xml.hasError() ? std::vector<Filled>{} : filled;
}

// Exactly the pixels' squares: corners on the pixel grid (to the file's rounding), edges along
// it, each traced pixel's centre filled once and no other, mirrored on the bottom; outlines
// counter-clockwise and holes clockwise as the plot is seen. Worked on the grid - column
// boundaries from the plot's X, lines between rows from the top - where a pixel is a unit
// square and the plot's sense of turning is reversed; filled row by row, the vertical edges
// crossing a row counted from the right.
void checkFilled(const std::vector<Filled>& filled, const QImage& image, double scale, bool bottom)
{
    const double unit = scale * 100;
    const int w = image.width();
    const int h = image.height();
    struct Crossing
    {
        double x;
        int turn;
        std::size_t filled;
    };
    std::vector<std::vector<Crossing>> rows(static_cast<std::size_t>(h));
    double area = 0;
    for (std::size_t f = 0; f < filled.size(); ++f)
        for (const Contour2& c : filled[f].contours) {
            QVERIFY(c.size() >= 4);
            for (std::size_t i = 0; i < c.size(); ++i) {
                const QPointF p = c[i];
                const QPointF q = c[(i + 1) % c.size()];
                QVERIFY(p.x() == q.x() || p.y() == q.y());
                const QPointF grid(p.x() / unit, h - 0.5 - p.y() / unit);
                const QPointF a(std::round(grid.x()), std::round(grid.y()));
                const QPointF b(std::round(q.x() / unit), std::round(h - 0.5 - q.y() / unit));
                QVERIFY2((grid - a).manhattanLength() * std::abs(unit) < 0.06,
                         qPrintable(QStringLiteral("corner %1 %2").arg(p.x()).arg(p.y())));
                QVERIFY(a.x() >= 0 && a.x() <= w && a.y() >= 0 && a.y() <= h);
                area += a.x() * b.y() - b.x() * a.y();
                if (a.x() == b.x())
                    for (int r = int(std::min(a.y(), b.y())); r < int(std::max(a.y(), b.y())); ++r)
                        rows[std::size_t(r)].push_back({a.x(), b.y() < a.y() ? 1 : -1, f});
            }
        }
    int traced = 0;
    std::vector<int> wound(filled.size(), 0);
    for (int r = 0; r < h; ++r) {
        std::vector<Crossing>& crossings = rows[std::size_t(r)];
        std::sort(crossings.begin(), crossings.end(),
                  [](const Crossing& a, const Crossing& b) { return a.x > b.x; });
        std::fill(wound.begin(), wound.end(), 0);
        int covered = 0;
        std::size_t next = 0;
        for (int k = w - 1; k >= 0; --k) {
            for (; next < crossings.size() && crossings[next].x > k + 0.5; ++next) {
                const Crossing& crossing = crossings[next];
                const bool evenOdd = filled[crossing.filled].evenOdd;
                int& n = wound[crossing.filled];
                covered -= evenOdd ? std::abs(n) % 2 : n;
                n += crossing.turn;
                covered += evenOdd ? std::abs(n) % 2 : n;
            }
            const int c = bottom ? w - 1 - k : k;
            const bool isTraced = image.pixel(c, r) == qRgb(0, 0, 0);
            traced += isTraced;
            QVERIFY2(covered == int(isTraced),
                     qPrintable(
                         QStringLiteral("pixel %1,%2 filled %3 times").arg(c).arg(r).arg(covered)));
        }
    }
    QVERIFY2(area / 2 == -traced,
             qPrintable(QStringLiteral("area %1 for %2 pixels").arg(-area / 2).arg(traced)));
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
        for (const char* scale : {"2", "0.333", "-12.7"})
            for (const bool bottom : {false, true})
                QTest::addRow("%s, %s, %s", plotformat::name(format).data(), scale,
                              bottom ? "bottom" : "top")
                    << format << QString::fromLatin1(scale) << bottom;
}

// Hand-made pictures with holes, islands, pixels meeting at corners and the last column, and
// random ones.
void TestOutlineFormats::filledExactly()
{
    QFETCH(PlotFormat, format);
    QFETCH(QString, scale);
    QFETCH(bool, bottom);
    std::vector<QImage> pictures = {
        pictureOf({"#"}),
        pictureOf({"..#", "..#"}),
        pictureOf({".####.", "##..##", "#....#", "##..##", ".####."}),
        pictureOf({"#####", "#...#", "#.#.#", "#...#", "#####"}),
        pictureOf({"###", "#.#", "##."}),
        pictureOf({"#####", "#.###", "##.##", "#####"}),
        pictureOf({"#.#.", ".#.#", "#.#."}),
        pictureOf({"######", ".....#", "####.#", "#..#.#", "#....#", "######"})};
    std::mt19937 random(11);
    for (int i = 0; i < 16; ++i) {
        const int width = 1 + int(random() % 24);
        pictures.push_back(randomPicture(random, width, 1 + int(random() % 16), 60));
    }
    // Dense enough that one shape holds more corners than an SVG path takes: cut into bands.
    if (format == PlotFormat::Svg && scale == QLatin1String("2"))
        pictures.push_back(randomPicture(random, 1000, 1000, 70));
    const PlotStyle style{PlotShape::Outline, bottom ? BoardSide::Bottom : BoardSide::Top,
                          BoardLayer::Silkscreen};
    const QString path =
        m_dir.filePath(QStringLiteral("o") + QString::fromUtf8(plotformat::extension(format)));
    for (const QImage& image : pictures) {
        const QByteArray text = convert(image, scale, format, style, path);
        const double unit = scale.toDouble() * 100;
        const QPointF centre(image.width() * unit / 2, (image.height() - 1) * unit / 2);
        const std::vector<Filled> filled =
            format == PlotFormat::Gerber ? readGerber(text)
            : format == PlotFormat::Kicad
                ? readKicad(text, centre, bottom ? QStringLiteral("B.SilkS") : "F.SilkS")
                : readSvg(text);
        checkFilled(filled, image, scale.toDouble(), bottom);
        if (QTest::currentTestFailed())
            QFAIL(text.left(3000).constData());
    }
}

void TestOutlineFormats::readersDrawExactly_data()
{
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<bool>("bottom");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    // A picture 24 × 16 pixels of 2 mils, 8 render pixels each.
    const QStringList gerbv{"--export=png",
                            "--dpi=4000",
                            "--border=0",
                            "--origin=0x-0.001",
                            "--window_inch=0.048x0.032",
                            "--background=#FFFFFF",
                            "--foreground=#000000",
                            "--output=%2",
                            "%1"};
    const QStringList rsvg{"--width=192", "--height=128", "--output=%2", "%1"};
    QTest::newRow("gerbv, top") << PlotFormat::Gerber << false << "gerbv" << gerbv;
    QTest::newRow("gerbv, bottom") << PlotFormat::Gerber << true << "gerbv" << gerbv;
    QTest::newRow("rsvg-convert, top") << PlotFormat::Svg << false << "rsvg-convert" << rsvg;
    QTest::newRow("rsvg-convert, bottom") << PlotFormat::Svg << true << "rsvg-convert" << rsvg;
}

// Readers nobody here wrote draw the outlines without a word, and every render pixel more
// than one render pixel away from a square's edge is dark inside the traced squares and
// light outside them.
void TestOutlineFormats::readersDrawExactly()
{
    QFETCH(PlotFormat, format);
    QFETCH(bool, bottom);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    std::mt19937 random(5);
    const QImage image = randomPicture(random, 24, 16, 55);
    const QString file =
        m_dir.filePath(QStringLiteral("drawn") + QString::fromUtf8(plotformat::extension(format)));
    const QString png = m_dir.filePath(QStringLiteral("drawn.png"));
    QVERIFY(!convert(image, "2", format,
                     {PlotShape::Outline, bottom ? BoardSide::Bottom : BoardSide::Top,
                      BoardLayer::Silkscreen},
                     file)
                 .isEmpty());
    for (QString& argument : arguments)
        argument.replace(QLatin1String("%1"), file).replace(QLatin1String("%2"), png);
    QProcess reader;
    reader.start(program, arguments);
    QVERIFY2(reader.waitForFinished(60000), "the reader is missing or hangs: make installs it");
    const QByteArray said = reader.readAllStandardError() + reader.readAllStandardOutput();
    QCOMPARE(reader.exitCode(), 0);
    QVERIFY2(said.trimmed().isEmpty(), said.constData());
    const QImage drawn(png);
    QVERIFY2(drawn.width() == 192 && drawn.height() == 128,
             qPrintable(QStringLiteral("drawn %1 x %2").arg(drawn.width()).arg(drawn.height())));
    auto dark = [&drawn](int x, int y) {
        const QRgb p = drawn.pixel(x, y);
        return qAlpha(p) > 128 && qGray(p) < 128;
    };
    auto traced = [&image, bottom](int x, int y) { // in render pixels
        const int c = x < 0 ? -1 : x / 8;
        const int r = y < 0 ? -1 : y / 8;
        const int column = bottom ? 23 - c : c;
        return column >= 0 && column < 24 && r >= 0 && r < 16 &&
               image.pixel(column, r) == qRgb(0, 0, 0);
    };
    int wrong = 0;
    for (int y = 0; y < drawn.height(); ++y)
        for (int x = 0; x < drawn.width(); ++x) {
            const bool want = traced(x, y);
            bool sure = true;
            for (int ny = y - 1; ny <= y + 1; ++ny)
                for (int nx = x - 1; nx <= x + 1; ++nx)
                    sure = sure && traced(nx, ny) == want;
            wrong += sure && dark(x, y) != want;
        }
    QCOMPARE(wrong, 0);
}

void TestOutlineFormats::layerAndSide_data()
{
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<PlotStyle>("style");
    QTest::addColumn<QString>("line"); // a line the file holds, or !line: one it must not
    auto row = [](const char* name, PlotFormat format, PlotStyle style, const QString& line) {
        QTest::newRow(name) << format << style << line;
    };
    using S = PlotShape;
    using Side = BoardSide;
    using L = BoardLayer;
    row("gerber lines, top silkscreen: as always", PlotFormat::Gerber, {},
        "!G04 #@! TF.FileFunction");
    row("gerber outline, top silkscreen", PlotFormat::Gerber,
        {S::Outline, Side::Top, L::Silkscreen}, "G04 #@! TF.FileFunction,Legend,Top*");
    row("gerber lines, bottom silkscreen", PlotFormat::Gerber,
        {S::Lines, Side::Bottom, L::Silkscreen}, "G04 #@! TF.FileFunction,Legend,Bot*");
    row("gerber lines, top mask", PlotFormat::Gerber, {S::Lines, Side::Top, L::Mask},
        "G04 #@! TF.FileFunction,Soldermask,Top*");
    row("gerber outline, bottom mask", PlotFormat::Gerber, {S::Outline, Side::Bottom, L::Mask},
        "G04 #@! TF.FileFunction,Soldermask,Bot*");
    row("gerber outline, top copper", PlotFormat::Gerber, {S::Outline, Side::Top, L::Copper},
        "G04 #@! TF.FileFunction,Copper,L1,Top*");
    row("gerber lines, bottom copper", PlotFormat::Gerber, {S::Lines, Side::Bottom, L::Copper},
        "G04 #@! TF.FileFunction,Copper,L2,Bot*");
    row("kicad lines, bottom silkscreen", PlotFormat::Kicad,
        {S::Lines, Side::Bottom, L::Silkscreen},
        "  (fp_line (start 0 0) (end 0.0508 0) (layer \"B.SilkS\") (width 0.254))");
    row("kicad outline, top mask", PlotFormat::Kicad, {S::Outline, Side::Top, L::Mask},
        "    ) (layer \"F.Mask\") (width 0) (fill solid))");
    row("kicad outline, bottom copper", PlotFormat::Kicad, {S::Outline, Side::Bottom, L::Copper},
        "    ) (layer \"B.Cu\") (width 0) (fill solid))");
    row("svg names no layer", PlotFormat::Svg, {S::Outline, Side::Bottom, L::Copper},
        "<path fill=\"#000000\" fill-rule=\"evenodd\" d=\"M4 -1H2V1H4Z\"/>");
    row("ipf names no layer", PlotFormat::Ipf, {S::Lines, Side::Bottom, L::Copper},
        "200 0 400 0\r");
}

// One pixel of a 2 × 1 picture at the left: the layer each file names, and where the pixel
// lands on the bottom side.
void TestOutlineFormats::layerAndSide()
{
    QFETCH(PlotFormat, format);
    QFETCH(PlotStyle, style);
    QFETCH(QString, line);
    const QString path =
        m_dir.filePath(QStringLiteral("l") + QString::fromUtf8(plotformat::extension(format)));
    const QList<QByteArray> lines =
        convert(pictureOf({"#."}), "2", format, style, path).split('\n');
    QVERIFY(lines.size() > 3);
    if (line.startsWith('!')) {
        for (const QByteArray& l : lines)
            QVERIFY(!l.startsWith(line.mid(1).toLatin1()));
    } else {
        QVERIFY2(lines.contains(line.toLatin1()), lines.join('\n').constData());
    }
}

QTEST_GUILESS_MAIN(TestOutlineFormats)

#include "tst_outlineformats.moc"
