#include "ConsolePlatform.h"
#include "ConversionRun.h"
#include "ConverterFrontEnd.h"
#include "PictureLoader.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <csignal>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace kelviq;

namespace {

enum ExitCode
{
    Success = 0,
    Failure = 1,
    Usage = 2
};

void say(const QString& line)
{
    std::fprintf(stderr, "kelviq-convert: %s\n", line.toLocal8Bit().constData());
}

int usageError(const QString& line)
{
    say(line);
    std::fputs("Try 'kelviq-convert --help'.\n", stderr);
    return Usage;
}

std::optional<ColorValue> parseColor(QString text)
{
    if (text.startsWith(QLatin1Char('#')))
        text.remove(0, 1);
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    if (!hex.match(text).hasMatch())
        return std::nullopt;
    const uint rgb = text.toUInt(nullptr, 16);
    return colorValueFromRgb(0xff000000u | rgb);
}

std::optional<QPoint> parsePick(const QString& text)
{
    static const QRegularExpression pair(QStringLiteral("^\\s*(\\d{1,9})\\s*,\\s*(\\d{1,9})\\s*$"));
    const QRegularExpressionMatch m = pair.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    return QPoint(m.captured(1).toInt(), m.captured(2).toInt());
}

} // namespace

int main(int argc, char* argv[])
{
    // Past a file-size limit a write should fail and be reported, not kill the program with
    // a partial temporary file left behind.
    std::signal(SIGXFSZ, SIG_IGN);
    // Standard error carries one clear line per problem; Qt's own decoder chatter about a
    // damaged file would only repeat it less clearly.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtFatalMsg)
            std::fprintf(stderr, "kelviq-convert: %s\n", qPrintable(text));
    });
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kelviq-convert"));
    QCoreApplication::setApplicationVersion(QStringLiteral("1.1"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Traces one colour of a picture into thick line segments and writes them "
                       "as an Allegro IPF plot file."));
    const QCommandLineOption colorOption(
        QStringLiteral("color"), QStringLiteral("Colour to trace, as hex RRGGBB (default 000000)."),
        QStringLiteral("RRGGBB"));
    const QCommandLineOption pickOption(
        QStringLiteral("pick"),
        QStringLiteral("Trace the colour of the pixel at column X, row Y (0,0 is top left)."),
        QStringLiteral("X,Y"));
    const QCommandLineOption scaleOption(QStringLiteral("scale"),
                                         QStringLiteral("Size of one pixel in mils (default 2)."),
                                         QStringLiteral("MILS"), QStringLiteral("2"));
    const QCommandLineOption thicknessOption(QStringLiteral("thickness"),
                                             QStringLiteral("Line thickness in mils (default 10)."),
                                             QStringLiteral("MILS"), QStringLiteral("10"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("Plot file to write (default out.plt in the current folder)."),
        QStringLiteral("FILE"), QStringLiteral("out.plt"));
    parser.addOptions({colorOption, pickOption, scaleOption, thicknessOption, outputOption});
    parser.addPositionalArgument(QStringLiteral("PICTURE"),
                                 QStringLiteral("BMP or any other picture Qt can read."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    if (!parser.parse(QCoreApplication::arguments()))
        return usageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return Success;
    }
    if (parser.isSet(versionOption)) {
        std::printf("kelviq-convert 1.1\n");
        return Success;
    }
    const QStringList pictures = parser.positionalArguments();
    if (pictures.size() != 1)
        return usageError(pictures.isEmpty() ? QStringLiteral("no picture given")
                                             : QStringLiteral("give exactly one picture"));
    if (parser.isSet(colorOption) && parser.isSet(pickOption))
        return usageError(QStringLiteral("--color and --pick cannot be used together"));

    ColorValue target = 0;
    if (parser.isSet(colorOption)) {
        const std::optional<ColorValue> color = parseColor(parser.value(colorOption));
        if (!color)
            return usageError(QStringLiteral("--color wants six hex digits RRGGBB, not \"%1\"")
                                  .arg(parser.value(colorOption)));
        target = *color;
    }
    std::optional<QPoint> pick;
    if (parser.isSet(pickOption)) {
        pick = parsePick(parser.value(pickOption));
        if (!pick)
            return usageError(QStringLiteral("--pick wants a column and a row as X,Y, not \"%1\"")
                                  .arg(parser.value(pickOption)));
    }
    const QString output = parser.value(outputOption);
    if (output.isEmpty())
        return usageError(QStringLiteral("--output wants a file name"));

    const QString path = pictures.constFirst();
    // Plain bitmap files are converted row by row from the file, without holding the picture.
    const LoadResult loaded = PictureLoader::load(path, LoadMode::Stream);
    if (!loaded.ok()) {
        say(loaded.error);
        return Failure;
    }
    const Raster& raster = loaded.raster;
    if (pick) {
        target = raster.point(pick->x(), pick->y());
        if (target == NoColor) {
            say(QStringLiteral("--pick %1,%2 lies outside the picture (%3 × %4 pixels)")
                    .arg(pick->x())
                    .arg(pick->y())
                    .arg(raster.width())
                    .arg(raster.height()));
            return Failure;
        }
    }

    ConverterFrontEnd frontEnd(path, raster, target, parser.value(scaleOption),
                               parser.value(thicknessOption));
    frontEnd.setShowProgress(isatty(STDERR_FILENO) &&
                             qint64(raster.width()) * raster.height() >= 16'000'000);
    ConsolePlatform platform;
    ConversionRun run(frontEnd, platform);
    run.setOutputPath(output);
    const RunResult result = run.Command1_Click();
    if (result.outcome != RunOutcome::Written)
        return Failure;
    std::printf("%lld segments from %s (%d x %d pixels) written to %s\n",
                static_cast<long long>(result.segments), qPrintable(path), raster.width(),
                raster.height(), qPrintable(result.outputPath));
    return Success;
}
