// The other board formats through the run: the same segments as the IPF plot in each, and files
// that outside readers draw without complaint. (The worked example byte for byte in every
// format: tests/standalone/plot_example.)
#include "run/ConversionRun.h"
#include "support/FakeFrontEnd.h"
#include "support/RecordingPlatform.h"
#include "support/TestFiles.h"

#include <QProcess>
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

QByteArray convert(FakeFrontEnd& frontEnd, PlotFormat format, const QString& path)
{
    RecordingPlatform platform;
    ConversionRun run(frontEnd, platform);
    run.setOutputPath(path);
    run.setFormat(format);
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
        "\\(fp_line \\(start (\\S+) (\\S+)\\) \\(end (\\S+) (\\S+)\\) \\(layer \"F.SilkS\"\\) "
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
    void everyFormatHoldsTheIpfSegments();
    void outsideReadersDrawThem_data();
    void outsideReadersDrawThem();

private:
    QTemporaryDir m_dir;
};

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
        frontEnd.thickness = QStringList{"10", "7.5", "0", "3.3"}[round % 4];
        const double scale = frontEnd.scale.toDouble() * 100;
        const std::vector<Drawn> ipf =
            readIpf(convert(frontEnd, PlotFormat::Ipf, m_dir.filePath("r.plt")));
        const double centreX = image.width() * scale / 2;
        const double centreY = (image.height() - 1) * scale / 2;
        const std::vector<std::pair<const char*, std::vector<Drawn>>> others = {
            {"gerber", readGerber(convert(frontEnd, PlotFormat::Gerber, m_dir.filePath("r.gbr")))},
            {"kicad", readKicad(convert(frontEnd, PlotFormat::Kicad, m_dir.filePath("r.kicad_mod")),
                                centreX, centreY)},
            {"svg", readSvg(convert(frontEnd, PlotFormat::Svg, m_dir.filePath("r.svg")))}};
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

void TestPlotFormats::outsideReadersDrawThem_data()
{
    QTest::addColumn<PlotFormat>("format");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("gerbv") << PlotFormat::Gerber << QStringLiteral("gerbv")
                           << QStringList{QStringLiteral("--export=png"),
                                          QStringLiteral("--output=%2"), QStringLiteral("%1")};
    QTest::newRow("rsvg-convert") << PlotFormat::Svg << QStringLiteral("rsvg-convert")
                                  << QStringList{QStringLiteral("--output=%2"),
                                                 QStringLiteral("%1")};
}

// Readers nobody here wrote must draw the files and have nothing to complain about.
void TestPlotFormats::outsideReadersDrawThem()
{
    QFETCH(PlotFormat, format);
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    FakeFrontEnd frontEnd;
    QImage image(40, 20, QImage::Format_RGB32);
    image.fill(Qt::white);
    for (int y = 0; y < 20; y += 2)
        for (int x = y; x < 40; x += 3)
            image.setPixel(x, y, qRgb(0, 0, 0));
    frontEnd.image = image;
    const QString file =
        m_dir.filePath(QStringLiteral("drawn") + QString::fromUtf8(plotformat::extension(format)));
    const QString png = m_dir.filePath(QStringLiteral("drawn.png"));
    QVERIFY(!convert(frontEnd, format, file).isEmpty());
    for (QString& argument : arguments)
        argument.replace(QLatin1String("%1"), file).replace(QLatin1String("%2"), png);
    QProcess reader;
    reader.start(program, arguments);
    QVERIFY2(reader.waitForFinished(60000), "the reader is missing or hangs: make installs it");
    const QByteArray said = reader.readAllStandardError() + reader.readAllStandardOutput();
    QCOMPARE(reader.exitCode(), 0);
    QVERIFY2(said.trimmed().isEmpty(), said.constData());
    QVERIFY(QImage(png).width() > 0);
}

QTEST_GUILESS_MAIN(TestPlotFormats)

#include "tst_plotformats.moc"
