#include "cli/ConverterOptions.h"

#include "output/DisplayName.h"
#include "run/PlotSize.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <limits>

namespace kelviq {

namespace {

std::optional<ColorValue> parseColor(QString text)
{
    if (text.startsWith(QLatin1Char('#')))
        text.remove(0, 1);
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{6}$"));
    if (!hex.match(text).hasMatch())
        return std::nullopt;
    const uint rgb = text.toUInt(nullptr, 16);
    return colorValueFromWord(rgb);
}

// "ipf, gerber, kicad or svg".
QString formatNames()
{
    QString names;
    const auto formats = plotformat::all();
    for (std::size_t i = 0; i < formats.size(); ++i) {
        if (i > 0)
            names += i + 1 == formats.size() ? QStringLiteral(" or ") : QStringLiteral(", ");
        names += QString::fromUtf8(formats[i].name);
    }
    return names;
}

// ".gbr .gto .gbo gerber, .kicad_mod kicad, .svg svg, else ipf": the first format is the one
// of any other name.
QString formatsByExtension()
{
    QString text;
    for (const PlotFormatInfo& info : plotformat::all().subspan(1))
        text += QString::fromUtf8(info.extensions) + QLatin1Char(' ') +
                QString::fromUtf8(info.name) + QStringLiteral(", ");
    return text + QStringLiteral("else ") + QString::fromUtf8(plotformat::all().front().name);
}

// "lines or outline", "silkscreen, mask or copper".
QString alternatives(std::span<const std::string_view> names)
{
    QString text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            text += i + 1 == names.size() ? QStringLiteral(" or ") : QStringLiteral(", ");
        text += QString::fromUtf8(names[i]);
    }
    return text;
}

// The value name --help shows, which the bash completion offers: "lines|outline".
QString valueName(std::span<const std::string_view> names)
{
    QStringList list;
    for (const std::string_view name : names)
        list << QString::fromUtf8(name);
    return list.join(QLatin1Char('|'));
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

PlotFormat ConverterOptions::plotFormat() const
{
    if (format)
        return *format;
    if (!output.isEmpty() && output != QLatin1String("-"))
        return plotformat::fromFileName(output.toStdString());
    return plotformat::all().front().format;
}

std::optional<int> ConverterOptions::wholeNumber(const QString& text)
{
    static const QRegularExpression digits(QStringLiteral("^\\s*\\+?(\\d+)\\s*$"));
    const QRegularExpressionMatch m = digits.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    bool ok = false;
    const int value = m.captured(1).toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

QString ConverterOptions::settingsProblem() const
{
    for (const auto& [option, text] :
         {std::pair{QStringLiteral("width"), width}, std::pair{QStringLiteral("height"), height}}) {
        QString why;
        if (!text.isEmpty() && !PlotSize::parseLength(text, &why))
            return QStringLiteral("The plot %1 \"%2\" cannot be used: %3.")
                .arg(option, displayName(text), why);
    }
    const std::optional<int> t = wholeNumber(tolerance);
    if (!t || *t > 255)
        return QStringLiteral("The tolerance \"%1\" is not a whole number from 0 to 255.")
            .arg(displayName(tolerance));
    if (!wholeNumber(despeckle))
        return QStringLiteral("The speck size \"%1\" is not a whole number of pixels (0 or "
                              "more, up to %2).")
            .arg(displayName(despeckle))
            .arg(std::numeric_limits<int>::max());
    return {};
}

std::optional<QByteArray> ConverterOptions::brokenName(const QString& name) const
{
    for (const auto& [decoded, raw] : m_broken) {
        if (decoded == name)
            return raw;
        // --output=NAME: the name is what follows the first '='.
        const qsizetype equals = raw.indexOf('=');
        if (equals >= 0 && decoded.endsWith(QLatin1Char('=') + name) &&
            QString::fromLocal8Bit(raw.left(equals + 1)) + name == decoded)
            return raw.mid(equals + 1);
    }
    return std::nullopt;
}

ConverterOptions ConverterOptions::parse(const QStringList& arguments, const QList<QByteArray>& raw)
{
    ConverterOptions options;
    for (const QByteArray& argument : raw)
        if (!isValidUtf8(argument))
            options.m_broken.append({QString::fromLocal8Bit(argument), argument});

    // The descriptions are the README's option table.
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Traces one colour of each picture into thick line segments and writes "
                       "them as an Allegro IPF plot file."));
    const QCommandLineOption colorOption(
        QStringLiteral("color"),
        QStringLiteral("Colour to trace, six hex digits (a leading # is allowed). "
                       "Default 000000 (black)."),
        QStringLiteral("RRGGBB"));
    const QCommandLineOption pickOption(
        QStringLiteral("pick"),
        QStringLiteral("Trace the colour of the pixel at column X, row Y (0,0 is the top-left "
                       "pixel), as a click on the picture would."),
        QStringLiteral("X,Y"));
    const QCommandLineOption scaleOption(
        QStringLiteral("scale"),
        QStringLiteral("Size of one picture pixel in mils, or \"picture\": the size each picture "
                       "states (its dots per inch). Default 2."),
        QStringLiteral("MILS"), QStringLiteral("2"));
    const QCommandLineOption thicknessOption(QStringLiteral("thickness"),
                                             QStringLiteral("Line thickness in mils, 0 or more (0 "
                                                            "only in IPF). Default 10."),
                                             QStringLiteral("MILS"), QStringLiteral("10"));
    const QCommandLineOption toleranceOption(
        QStringLiteral("tolerance"),
        QStringLiteral("Also trace pixels whose red, green and blue each differ from the colour "
                       "by at most N (0-255). Default 0: exactly the colour."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption invertOption(
        QStringLiteral("invert"),
        QStringLiteral("Trace every pixel that is not within the tolerance of the colour: pick "
                       "the background to trace a many-coloured logo whole."));
    const QCommandLineOption despeckleOption(
        QStringLiteral("despeckle"),
        QStringLiteral("Leave out groups of traced pixels (touching by an edge or a corner) "
                       "of fewer than K pixels. Default 0: none."),
        QStringLiteral("K"), QStringLiteral("0"));
    const QCommandLineOption widthOption(
        QStringLiteral("width"),
        QStringLiteral("Scale each picture so that its plot is this wide: 25mm, 800mil or 1in. "
                       "Not with --scale or --height."),
        QStringLiteral("LENGTH"));
    const QCommandLineOption heightOption(
        QStringLiteral("height"),
        QStringLiteral("Scale each picture so that its plot is this high: 25mm, 800mil or 1in. "
                       "Not with --scale or --width."),
        QStringLiteral("LENGTH"));
    const QCommandLineOption formatOption(
        QStringLiteral("format"),
        QStringLiteral("File format: %1. Default: from the output's extension (%2).")
            .arg(formatNames(), formatsByExtension()),
        QStringLiteral("FORMAT"));
    const QCommandLineOption shapeOption(
        QStringLiteral("shape"),
        QStringLiteral("What the plot draws: lines, a line segment per run of pixels, or "
                       "outline, the traced pixels' exact outlines as filled shapes (Gerber, "
                       "KiCad and SVG; the thickness plays no part). Default lines."),
        valueName(plotstyle::shapeNames()), QStringLiteral("lines"));
    const QCommandLineOption sideOption(
        QStringLiteral("side"),
        QStringLiteral("Board side: bottom mirrors the plot left to right, so that it reads "
                       "right seen from below. Default top."),
        valueName(plotstyle::sideNames()), QStringLiteral("top"));
    const QCommandLineOption layerOption(
        QStringLiteral("layer"),
        QStringLiteral("Layer the KiCad footprint draws on and the Gerber file says it is; "
                       "IPF and SVG name none. Default silkscreen."),
        valueName(plotstyle::layerNames()), QStringLiteral("silkscreen"));
    const QCommandLineOption outputOption(
        QStringLiteral("output"),
        QStringLiteral("Plot file to write; - is standard output, and so are /dev/stdout, "
                       "/dev/fd/1 ... One picture only. Default out.plt in the current folder "
                       "(out.gbr, out.kicad_mod, out.svg with --format)."),
        QStringLiteral("FILE"));
    const QCommandLineOption outputDirOption(
        QStringLiteral("output-dir"),
        QStringLiteral("Folder that receives one NAME.plt (or the format's extension) per "
                       "picture (made if missing). Default: with several pictures, each "
                       "picture's own folder."),
        QStringLiteral("DIR"));
    const QCommandLineOption dryRunOption(
        QStringLiteral("dry-run"),
        QStringLiteral("Check everything a real run checks, read and trace, write nothing: "
                       "print the size in pixels, mils and mm, the segments and the bytes that "
                       "would be written."));
    const QCommandLineOption quietOption(QStringLiteral("quiet"),
                                         QStringLiteral("Print nothing on success (a dry run's "
                                                        "report is still printed)."));
    const QCommandLineOption ignoreOrientationOption(
        QStringLiteral("ignore-orientation"),
        QStringLiteral("Trace the rows as the file stores them, not turned as its EXIF "
                       "orientation says."));
    parser.addOptions({colorOption, pickOption, toleranceOption, invertOption, despeckleOption,
                       scaleOption, widthOption, heightOption, thicknessOption, formatOption,
                       shapeOption, sideOption, layerOption, outputOption, outputDirOption,
                       dryRunOption, quietOption, ignoreOrientationOption});
    parser.addPositionalArgument(
        QStringLiteral("PICTURE..."),
        QStringLiteral("BMP, PNG, JPEG, GIF, ICO/CUR, PBM/PGM/PPM, XBM or XPM picture; - is "
                       "standard input."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption = parser.addVersionOption();

    auto usage = [&options](const QString& error) {
        options.m_usageError = error;
        return options;
    };
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    options.m_help = parser.isSet(helpOption);
    options.m_version = parser.isSet(versionOption);
    options.m_helpText = parser.helpText();
    if (options.m_help || options.m_version)
        return options;

    options.pictures = parser.positionalArguments();
    if (options.pictures.isEmpty())
        return usage(QStringLiteral("no picture given"));
    if (parser.isSet(colorOption) && parser.isSet(pickOption))
        return usage(QStringLiteral("--color and --pick cannot be used together"));
    if (parser.isSet(colorOption)) {
        options.color = parseColor(parser.value(colorOption));
        if (!options.color)
            return usage(QStringLiteral("--color wants six hex digits RRGGBB, not \"%1\"")
                             .arg(displayName(parser.value(colorOption))));
    }
    if (parser.isSet(pickOption)) {
        options.pick = parsePick(parser.value(pickOption));
        if (!options.pick)
            return usage(QStringLiteral("--pick wants a column and a row as X,Y, not \"%1\"")
                             .arg(displayName(parser.value(pickOption))));
    }
    options.tolerance = parser.value(toleranceOption);
    options.invert = parser.isSet(invertOption);
    options.despeckle = parser.value(despeckleOption);
    if (parser.isSet(formatOption)) {
        options.format = plotformat::fromName(parser.value(formatOption).toStdString());
        if (!options.format)
            return usage(QStringLiteral("--format wants %1, not \"%2\"")
                             .arg(formatNames(), displayName(parser.value(formatOption))));
    }
    // A name out of a list: its index, or a usage error.
    struct Choice
    {
        const QCommandLineOption& option;
        std::span<const std::string_view> names;
        int* index;
    };
    int shape = 0;
    int side = 0;
    int layer = 0;
    for (const Choice& choice : {Choice{shapeOption, plotstyle::shapeNames(), &shape},
                                 Choice{sideOption, plotstyle::sideNames(), &side},
                                 Choice{layerOption, plotstyle::layerNames(), &layer}}) {
        const QString value = parser.value(choice.option);
        const std::optional<int> index = plotstyle::indexOf(choice.names, value.toStdString());
        if (!index)
            return usage(QStringLiteral("--%1 wants %2, not \"%3\"")
                             .arg(choice.option.names().constFirst(), alternatives(choice.names),
                                  displayName(value)));
        *choice.index = *index;
    }
    options.style = {static_cast<PlotShape>(shape), static_cast<BoardSide>(side),
                     static_cast<BoardLayer>(layer)};
    const int sizes = int(parser.isSet(scaleOption)) + int(parser.isSet(widthOption)) +
                      int(parser.isSet(heightOption));
    if (sizes > 1)
        return usage(QStringLiteral("give only one of --scale, --width and --height"));
    options.width = parser.value(widthOption);
    options.height = parser.value(heightOption);
    if ((parser.isSet(widthOption) && options.width.isEmpty()) ||
        (parser.isSet(heightOption) && options.height.isEmpty()))
        return usage(QStringLiteral("--width and --height want a length such as 25mm"));
    options.scale = parser.value(scaleOption);
    options.thickness = parser.value(thicknessOption);
    if (parser.isSet(outputOption)) {
        options.output = parser.value(outputOption);
        if (options.output.isEmpty())
            return usage(QStringLiteral("--output wants a file name"));
        if (parser.isSet(outputDirOption))
            return usage(QStringLiteral("--output and --output-dir cannot be used together"));
        if (options.pictures.size() > 1)
            return usage(QStringLiteral("--output takes one picture; use --output-dir for "
                                        "several"));
    }
    if (parser.isSet(outputDirOption)) {
        options.outputDir = parser.value(outputDirOption);
        if (options.outputDir.isEmpty())
            return usage(QStringLiteral("--output-dir wants a folder name"));
    }
    if (const PlotFormatInfo& info = plotformat::info(options.plotFormat());
        options.style.shape == PlotShape::Outline && !info.filledShapes) {
        std::vector<std::string_view> holding;
        for (const PlotFormatInfo& other : plotformat::all())
            if (other.filledShapes)
                holding.push_back(other.name);
        return usage(QStringLiteral("--shape outline cannot be written as %1: %2 files hold "
                                    "lines only; use --format %3")
                         .arg(QString::fromUtf8(info.name), QString::fromUtf8(info.title),
                              alternatives(holding)));
    }
    options.dryRun = parser.isSet(dryRunOption);
    options.quiet = parser.isSet(quietOption);
    options.ignoreOrientation = parser.isSet(ignoreOrientationOption);
    return options;
}

} // namespace kelviq
