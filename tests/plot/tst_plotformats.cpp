// The other board formats through the run: the same segments as the IPF plot in each, and each
// writer's limits. (Outside readers draw them: tst_outlineformats; the worked example byte for
// byte in every format: tests/standalone/plot_example.)
#include "plot/MemorySink.h"
#include "plot/PlotGeometry.h"
#include "plot/SegmentWriter.h"
#include "run/ConversionRun.h"
#include "support/FakeFrontEnd.h"
#include "support/RecordingPlatform.h"
#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <random>

using namespace kelviq;

namespace {

// A segment as read back from a file, in plot units.
struct Drawn
{
    double x1, y1, x2, y2, width;
};

QByteArray convert(FakeFrontEnd& frontEnd, PlotFormat format, const QString& path,
                   BoardSide side = BoardSide::Top)
{
    RecordingPlatform platform;
    ConversionRun run(frontEnd, platform);
    run.setOutputPath(path);
    run.setFormat(format);
    run.setStyle({PlotShape::Lines, side, BoardLayer::Silkscreen});
    run.setDesignName(QStringLiteral("logo"));
    const RunResult result = run.run();
    return result.outcome == RunOutcome::Written ? testfiles::readFile(path) : QByteArray();
}

std::vector<Drawn> readIpf(const QByteArray& plot)
{
    std::vector<Drawn> drawn;
    const QList<QByteArray> lines = plot.split('\n');
    for (qsizetype i = 19; i + 2 < lines.size(); i += 3) {
        const QList<QByteArray> width = lines[i + 1].trimmed().split(' ');
        const QList<QByteArray> p = lines[i + 2].trimmed().split(' ');
        drawn.push_back({p[0].toDouble(), p[1].toDouble(), p[2].toDouble(), p[3].toDouble(),
                         width[0].toDouble()});
    }
    return drawn;
}

// Micro-inches back to plot units (ten micro-inches each).
std::vector<Drawn> readGerber(const QByteArray& text)
{
    std::vector<Drawn> drawn;
    QMap<QString, double> apertures;
    double width = -1;
    double x = 0;
    double y = 0;
    static const QRegularExpression define(QStringLiteral("^%ADD(\\d+)C,([0-9.]+)\\*%$"));
    static const QRegularExpression select(QStringLiteral("^D(\\d+)\\*$"));
    static const QRegularExpression op(QStringLiteral("^X(-?\\d+)Y(-?\\d+)D0([123])\\*$"));
    for (const QString& line : QString::fromLatin1(text).split(QLatin1Char('\n'))) {
        if (const auto m = define.match(line); m.hasMatch())
            apertures[m.captured(1)] = m.captured(2).toDouble() * 1e5;
        else if (const auto m = select.match(line); m.hasMatch())
            width = apertures.value(m.captured(1), -1);
        else if (const auto m = op.match(line); m.hasMatch()) {
            const double px = m.captured(1).toDouble() / 10;
            const double py = m.captured(2).toDouble() / 10;
            if (m.captured(3) == QLatin1String("1"))
                drawn.push_back({x, y, px, py, width});
            else if (m.captured(3) == QLatin1String("3"))
                drawn.push_back({px, py, px, py, width});
            x = px;
            y = py;
        }
    }
    return drawn;
}

// Millimetres about the area's centre, Y down, back to plot units.
std::vector<Drawn> readKicad(const QByteArray& text, double centreX, double centreY)
{
    std::vector<Drawn> drawn;
    static const QRegularExpression line(QStringLiteral(
        "\\(fp_line \\(start (\\S+) (\\S+)\\) \\(end (\\S+) (\\S+)\\) \\(layer \"[FB].SilkS\"\\) "
        "\\(width (\\S+)\\)\\)"));
    auto it = line.globalMatch(QString::fromLatin1(text));
    while (it.hasNext()) {
        const auto m = it.next();
        auto unit = [&](int i) { return m.captured(i).toDouble() / 0.000254; };
        drawn.push_back(
            {unit(1) + centreX, centreY - unit(2), unit(3) + centreX, centreY - unit(4), unit(5)});
    }
    return drawn;
}

// Mils with Y flipped back to plot units; the file must be well-formed XML.
std::vector<Drawn> readSvg(const QByteArray& text)
{
    std::vector<Drawn> drawn;
    QXmlStreamReader xml(text);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("path"))
            continue;
        const double width = xml.attributes().value(QLatin1String("stroke-width")).toDouble() * 100;
        static const QRegularExpression separators(QStringLiteral("[\\sML]+"));
        const QStringList t = xml.attributes()
                                  .value(QLatin1String("d"))
                                  .toString()
                                  .split(separators, Qt::SkipEmptyParts);
        for (qsizetype i = 0; i + 3 < t.size(); i += 4)
            drawn.push_back({t[i].toDouble() * 100, -t[i + 1].toDouble() * 100,
                             t[i + 2].toDouble() * 100, -t[i + 3].toDouble() * 100, width});
    }
    return xml.hasError() ? std::vector<Drawn>{{-1, -1, -1, -1, -1}} : drawn;
}

} // namespace

class TestPlotFormats : public QObject
{
    Q_OBJECT

private slots:
    void writerLimits_data();
    void writerLimits();
    void svgPathsStayWithinAMegabyte();
    void everyFormatHoldsTheIpfSegments();

private:
    QTemporaryDir m_dir;
};

void TestPlotFormats::writerLimits_data()
{
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<QSize>("pixels");
    QTest::addColumn<double>("scale");
    QTest::addColumn<double>("thickness"); // mils
    QTest::addColumn<QString>("refusal");  // the start of the reason, or empty: written
    QTest::addColumn<QString>("holds");    // what the file must hold, a regular expression
    QTest::addColumn<QString>("lacks");    // what it must not
    QTest::addColumn<QString>("name");     // the design's name
    auto row = [](const char* name, PlotFormat format, QSize pixels, double scale,
                  const QString& refusal, const QString& holds = {}, const QString& lacks = {},
                  double thickness = 10, const QString& design = "logo") {
        QTest::newRow(name) << format << pixels << scale << thickness << refusal << holds << lacks
                            << design;
    };
    const QSize two(2, 1);
    // At a limit the farthest number is written in full; one unit of the format past it, the
    // plot is refused before anything is written.
    row("ipf at 10^15 - 1", PlotFormat::Ipf, two, 9999999999999.99, {}, " 999999999999999 0\r",
        "e\\+");
    row("ipf one past", PlotFormat::Ipf, two, 1e13, "too large for an IPF plot");
    row("gerber at 999.999999 in", PlotFormat::Gerber, two, 999999.999, {}, "X999999999Y0D01");
    row("gerber one micro-inch past", PlotFormat::Gerber, two, 1e6, "too large for a Gerber");
    row("kicad at 1518.485686 mm", PlotFormat::Kicad, two, 1518.485686 / 0.0254, {},
        "start -1518.485686 0\\)");
    row("kicad one nanometre past", PlotFormat::Kicad, two, 1518.485687 / 0.0254,
        "too large for a KiCad");
    row("svg at 10^15 - 1", PlotFormat::Svg, QSize(1, 1), 9999999999999.99, {},
        "viewBox=\"-5 -[0-9.]+ [0-9.]+ [0-9.]+\"", "e\\+");
    row("svg one past", PlotFormat::Svg, QSize(1, 1), 1e13, "too large for an SVG");
    // Numbers as written.
    row("gerber at --width 25mm of 500 pixels: whole micro-inches", PlotFormat::Gerber, QSize(7, 3),
        1.96850393700787, {}, "X11811Y3937D01", "X\\d*\\.|Y\\d*\\.");
    row("gerber rounds to 0 from below, never -0", PlotFormat::Gerber, two, -0.000001, {},
        "X0Y0D03", "-0");
    row("kicad rounds to 0 from below, never -0", PlotFormat::Kicad, two, 1e-9, {}, "start 0 0\\)",
        "[ (]-0[ )]");
    row("kicad name with \" and \\ escaped", PlotFormat::Kicad, two, 2, {},
        "^\\(footprint \"a\\\\\"b\\\\\\\\c\" ", {}, 10, "a\"b\\c");
    // What a thickness of 0 can be: Allegro's zero-width line in IPF, nothing elsewhere.
    row("ipf zero width", PlotFormat::Ipf, two, 2, {}, "259\r\n0 2\r\n", {}, 0);
    row("gerber zero width", PlotFormat::Gerber, two, 2, "too thin for a Gerber", {}, {}, 0);
    row("gerber aperture rounding to 0", PlotFormat::Gerber, two, 2, "too thin", {}, {}, 0.0004);
    row("kicad zero width", PlotFormat::Kicad, two, 2, "too thin for a KiCad", {}, {}, 0);
    row("svg zero width", PlotFormat::Svg, two, 2, "too thin for an SVG", {}, {}, 0);
    row("ipf width at 10^15", PlotFormat::Ipf, two, 2, "too thick for an IPF", {}, {}, 1e13);
}

// Each format's limits, exactly: what the table lets through is written in full, and nothing
// past them is written at all.
void TestPlotFormats::writerLimits()
{
    QFETCH(PlotFormat, format);
    QFETCH(QSize, pixels);
    QFETCH(double, scale);
    QFETCH(double, thickness);
    QFETCH(QString, refusal);
    QFETCH(QString, holds);
    QFETCH(QString, lacks);
    QFETCH(QString, name);
    const PlotFormatInfo& info = plotformat::info(format);
    const PlotGeometry geometry(pixels.width(), pixels.height(), scale);
    const std::string problem = info.limitProblem(geometry) + info.widthProblem(thickness * 100);
    QVERIFY2(QString::fromStdString(problem).startsWith(refusal), problem.c_str());
    QCOMPARE(problem.empty(), refusal.isEmpty());
    if (!problem.empty())
        return;
    MemorySink sink;
    const auto writer = plotformat::createWriter(format, sink, name.toStdString());
    writer->setLineWidth(thickness * 100);
    writer->begin(geometry);
    for (int y = 0; y < pixels.height(); ++y)
        writer->writeRow(y, {Run{0, pixels.width()}});
    writer->end();
    QVERIFY(writer->flush());
    const QString text = QString::fromStdString(sink.bytes);
    QVERIFY2(text.contains(QRegularExpression(holds, QRegularExpression::MultilineOption)),
             qPrintable(text.left(2000)));
    if (!lacks.isEmpty())
        QVERIFY2(!text.contains(QRegularExpression(lacks)), qPrintable(text.left(2000)));
}

// libxml2 and the readers built on it refuse more than 10 MB in one attribute: a long path goes
// on in another of the same width, also within one row, and no segment is lost.
void TestPlotFormats::svgPathsStayWithinAMegabyte()
{
    MemorySink sink;
    const auto writer = plotformat::createWriter(PlotFormat::Svg, sink, {});
    const PlotGeometry geometry(130000, 1, 2); // one row of about 1.3 MB
    std::vector<Run> stripes;
    for (int x = 0; x < geometry.columns(); x += 2)
        stripes.push_back({x, x + 1});
    writer->begin(geometry);
    writer->writeRow(0, stripes);
    writer->end();
    QVERIFY(writer->flush());
    const std::vector<Drawn> drawn = readSvg(QByteArray::fromStdString(sink.bytes));
    QCOMPARE(drawn.size(), stripes.size());
    static const QRegularExpression data(QStringLiteral("d=\"([^\"]*)\""));
    int paths = 0;
    for (auto it = data.globalMatch(QString::fromStdString(sink.bytes)); it.hasNext(); ++paths)
        QVERIFY(it.next().capturedLength(1) <= 1'000'000);
    QCOMPARE(paths, 2);
}

void TestPlotFormats::everyFormatHoldsTheIpfSegments()
{
    std::mt19937 random(3);
    for (int round = 0; round < 8; ++round) {
        QImage image(1 + static_cast<int>(random() % 70), 1 + static_cast<int>(random() % 30),
                     QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, random() % 3 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
        FakeFrontEnd frontEnd;
        frontEnd.image = image;
        frontEnd.scale = QStringList{"2", "0.333", "1.5", "12.7"}[round % 4];
        frontEnd.thickness = QStringList{"10", "7.5", "0.5", "3.3"}[round % 4];
        const double scale = frontEnd.scale.toDouble() * 100;
        // Odd rounds on the bottom side: the top's rows mirrored, each read backwards.
        const BoardSide side = round % 2 ? BoardSide::Bottom : BoardSide::Top;
        const std::vector<Drawn> ipf =
            readIpf(convert(frontEnd, PlotFormat::Ipf, m_dir.filePath("r.plt"), side));
        std::vector<Drawn> top =
            readIpf(convert(frontEnd, PlotFormat::Ipf, m_dir.filePath("t.plt")));
        for (auto row = top.begin(); side == BoardSide::Bottom && row != top.end();) {
            const auto end = std::find_if(row, top.end(), [&](auto& d) { return d.y1 != row->y1; });
            for (auto d = row; d != end; ++d)
                *d = {image.width() * scale - d->x2, d->y1, image.width() * scale - d->x1, d->y2,
                      d->width};
            std::reverse(row, end);
            row = end;
        }
        const double centreX = image.width() * scale / 2;
        const double centreY = (image.height() - 1) * scale / 2;
        const std::vector<std::pair<const char*, std::vector<Drawn>>> others = {
            {"the top's", top},
            {"gerber",
             readGerber(convert(frontEnd, PlotFormat::Gerber, m_dir.filePath("r.gbr"), side))},
            {"kicad",
             readKicad(convert(frontEnd, PlotFormat::Kicad, m_dir.filePath("r.kicad_mod"), side),
                       centreX, centreY)},
            {"svg", readSvg(convert(frontEnd, PlotFormat::Svg, m_dir.filePath("r.svg"), side))}};
        for (const auto& [name, drawn] : others) {
            QVERIFY2(drawn.size() == ipf.size(), name);
            for (std::size_t i = 0; i < ipf.size(); ++i) {
                const Drawn& a = ipf[i];
                const Drawn& b = drawn[i];
                // Gerber rounds to the micro-inch, a tenth of a plot unit.
                const bool same = std::abs(a.x1 - b.x1) < 0.06 && std::abs(a.y1 - b.y1) < 0.06 &&
                                  std::abs(a.x2 - b.x2) < 0.06 && std::abs(a.y2 - b.y2) < 0.06 &&
                                  std::abs(a.width - b.width) < 0.06;
                QVERIFY2(same,
                         qPrintable(
                             QStringLiteral("%1 round %2 segment %3").arg(name).arg(round).arg(i)));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestPlotFormats)

#include "tst_plotformats.moc"
