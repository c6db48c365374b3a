#include "cli/BatchRunner.h"
#include "cli/ConsolePlatform.h"
#include "cli/ConverterOptions.h"
#include "cli/PictureInput.h"
#include "cli/PictureJob.h"
#include "output/DisplayName.h"
#include "output/PlotOutput.h"
#include "picture/PictureLoader.h"
#include "run/ConversionRun.h"
#include "run/PlotSize.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QThread>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelviq;

namespace {

enum ExitCode
{
    Success = 0,
    Failure = 1,
    Usage = 2
};

int failure(const QString& message)
{
    std::fprintf(stderr, "%s\n", ConsolePlatform::lineFor(message).toLocal8Bit().constData());
    return Failure;
}

// Settings no plot can be made with are wrong usage too, told in the same words as the window.
int settingError(const QString& message)
{
    std::fprintf(stderr, "%s\n", ConsolePlatform::lineFor(message).toLocal8Bit().constData());
    return Usage;
}

int usageError(const QString& line)
{
    std::fprintf(stderr, "kelviq-convert: %s\n", line.toLocal8Bit().constData());
    std::fputs("Try 'kelviq-convert --help'.\n", stderr);
    return Usage;
}

QString notUtf8(const QString& what, const QByteArray& raw, const QString& consequence)
{
    return what + displayName(raw) + QStringLiteral(": its name is not valid UTF-8, ") +
           consequence + QLatin1Char('.');
}

// What making the folder would run into, without making it (a dry run): the nearest part of
// it that exists must be a folder this process may make folders in. 0 when nothing would.
int folderCannotBeMade(const QString& folder)
{
    QString path = QFileInfo(folder).absoluteFilePath();
    for (;;) {
        struct stat info = {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
            if (!S_ISDIR(info.st_mode))
                return ENOTDIR;
            return ::access(QFile::encodeName(path).constData(), W_OK | X_OK) == 0 ? 0 : errno;
        }
        if (errno != ENOENT)
            return errno;
        path = QFileInfo(path).path();
    }
}

// Where a picture's plot goes: --output, else NAME.plt in the output folder when there is
// one or when there are several pictures, else out.plt in the current folder.
QString outputNameFor(const ConverterOptions& options, const QString& picture)
{
    if (!options.output.isEmpty())
        return options.output;
    const QString extension =
        QString::fromUtf8(plotformat::extension(options.format.value_or(PlotFormat::Ipf)));
    if (options.outputDir.isEmpty() && options.pictures.size() == 1)
        return QStringLiteral("out") + extension;
    const QFileInfo info(picture);
    const QString name =
        picture == QLatin1String("-") ? QStringLiteral("stdin") : info.completeBaseName();
    const QString folder = options.outputDir.isEmpty() ? info.path() : options.outputDir;
    return folder + QLatin1Char('/') + name + extension;
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

    QList<QByteArray> raw;
    for (int i = 0; i < argc; ++i)
        raw.append(QByteArray(argv[i]));
    const ConverterOptions options = ConverterOptions::parse(QCoreApplication::arguments(), raw);
    if (!options.usageError().isEmpty())
        return usageError(options.usageError());
    if (options.wantsHelp()) {
        std::fputs(qPrintable(options.helpText()), stdout);
        return Success;
    }
    if (options.wantsVersion()) {
        std::printf("kelviq-convert 1.1\n");
        return Success;
    }

    // Settings and names are checked before anything is read or written.
    // With --scale picture, the thickness is checked here, each picture's scale once it is read.
    const QString scale = options.scaleFromPicture() ? QStringLiteral("2") : options.scale;
    if (const QString problem = ConversionRun::settingsProblem(scale, options.thickness);
        !problem.isEmpty())
        return failure(problem);
    if (const QString problem = options.settingsProblem(); !problem.isEmpty())
        return failure(problem);
    if (const auto broken = options.brokenName(options.output))
        return failure(notUtf8(QStringLiteral("Cannot create the plot file "), *broken,
                               QStringLiteral("and no other name is used in its place")));
    if (const auto broken = options.brokenName(options.outputDir))
        return failure(notUtf8(QStringLiteral("Cannot use the folder "), *broken,
                               QStringLiteral("and no other name is used in its place")));
    // The format of every plot: the option, else the extension that --output or the folder's
    // names give.
    const PlotFormat format = options.plotFormat();
    if (const QString problem =
            ConversionRun::rangeProblem(scale, options.thickness, format, options.style.shape);
        !problem.isEmpty())
        return settingError(problem);

    bool folderWillBeMade = false;
    if (!options.outputDir.isEmpty()) {
        const QFileInfo folder(options.outputDir);
        const int cannot = folder.exists()  ? (folder.isDir() ? 0 : -1)
                           : options.dryRun ? folderCannotBeMade(options.outputDir)
                           : QDir().mkpath(options.outputDir) ? 0
                                                              : errno;
        if (cannot < 0)
            return failure(QStringLiteral("Cannot use the folder ") +
                           displayName(options.outputDir) +
                           QStringLiteral(": it is a file, not a folder."));
        if (cannot > 0)
            return failure(QStringLiteral("Cannot create the folder ") +
                           displayName(options.outputDir) + QStringLiteral(": ") +
                           QString::fromLocal8Bit(std::strerror(cannot)) + QLatin1Char('.'));
        folderWillBeMade = options.dryRun && !folder.exists();
    }

    JobSettings settings;
    settings.color = options.color;
    settings.pick = options.pick;
    settings.trace.tolerance = options.toleranceValue();
    settings.trace.invert = options.invert;
    settings.trace.despeckle = options.despeckleValue();
    settings.format = options.format;
    settings.style = options.style;
    settings.scale = options.scale;
    settings.sizeText = options.width.isEmpty() ? options.height : options.width;
    settings.scaleFromPicture = options.scaleFromPicture();
    if (!options.width.isEmpty())
        settings.widthMils = PlotSize::parseLength(options.width, nullptr, &settings.sizeUnit);
    if (!options.height.isEmpty())
        settings.heightMils = PlotSize::parseLength(options.height, nullptr, &settings.sizeUnit);
    settings.thickness = options.thickness;
    settings.dryRun = options.dryRun;
    settings.quiet = options.quiet;
    settings.ignoreOrientation = options.ignoreOrientation;
    settings.folderWillBeMade = folderWillBeMade;
    settings.showProgress = options.pictures.size() == 1 && isatty(STDERR_FILENO);

    QList<FileIdentity> pictures;
    for (const QString& picture : options.pictures)
        pictures.append(identityOfPath(picture));
    std::vector<PictureJob> jobs;
    QHash<QString, QString> pictureForPlot; // plot path -> the picture that makes it
    for (const QString& picture : options.pictures) {
        PictureJob job(settings, picture, outputNameFor(options, picture));
        job.setKeptFiles(pictures);
        const QString plot = QDir::cleanPath(PlotOutput(job.outputName()).path());
        if (const auto broken = options.brokenName(picture)) {
            job.refuse(notUtf8(QStringLiteral("Cannot read the picture "), *broken,
                               QStringLiteral("which this program cannot open")));
        } else if (pictureForPlot.contains(plot)) {
            job.refuse(QStringLiteral("Cannot create the plot file %1 for %2: %3, given before, "
                                      "has a plot of the same name; convert %2 on its own "
                                      "with --output.")
                           .arg(displayName(plot), displayName(picture),
                                displayName(pictureForPlot.value(plot))));
        } else {
            pictureForPlot.insert(plot, picture);
        }
        jobs.push_back(std::move(job));
    }
    const BatchRunner runner(QThread::idealThreadCount(), PictureLoader::memoryLimit());
    return runner.run(jobs) ? Success : Failure;
}
