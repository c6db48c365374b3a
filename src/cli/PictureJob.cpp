#include "cli/PictureJob.h"

#include "cli/ConsolePlatform.h"
#include "cli/ConverterFrontEnd.h"
#include "cli/MemoryBudget.h"
#include "cli/PictureInput.h"
#include "output/DisplayName.h"
#include "output/PlotOutput.h"
#include "plot/NumberText.h"
#include "plot/PlotFormat.h"
#include "plot/SettingChecks.h"
#include "run/ConversionRun.h"
#include "run/PlotSize.h"

#include <QFileInfo>
#include <cmath>

namespace kelviq {

namespace {

JobReport failed(const QString& message)
{
    JobReport report;
    report.error = ConsolePlatform::lineFor(message);
    return report;
}

// Mils to millimetres, to the micrometre.
QString millimetres(double mils)
{
    const double micrometres = std::round(mils * 25.4);
    if (!std::isfinite(micrometres))
        return QString::number(micrometres);
    return QString::fromStdString(numberText(micrometres / 1000.0));
}

} // namespace

PictureJob::PictureJob(const JobSettings& settings, QString picture, QString outputName)
    : m_settings(settings), m_picture(std::move(picture)), m_outputName(std::move(outputName))
{
}

JobReport PictureJob::run(MemoryBudget& memory) const
{
    if (!m_refusal.isEmpty())
        return failed(m_refusal);

    PlotOutput output(m_outputName, m_settings.dryRun);
    output.setFolderWillBeMade(m_settings.folderWillBeMade);
    if (!output.open(m_kept))
        return failed(ConversionRun::cannotCreateText(output));

    // Pictures are converted row by row as they are decoded; those held whole (interlaced,
    // turned) share the memory with the pictures converted meanwhile.
    MemoryBudget::Claim claim;
    PictureInput::Tracing tracing;
    tracing.settings = m_settings.trace;
    tracing.settings.target = m_settings.color.value_or(0);
    tracing.pick = m_settings.pick;
    tracing.ignoreOrientation = m_settings.ignoreOrientation;
    PictureInput::Loaded loaded = PictureInput::load(m_picture, tracing, [&](qint64 bytes) {
        claim = MemoryBudget::Claim(); // what a job holds is never waited for by itself
        claim = memory.claim(bytes);
    });
    if (!loaded.error.isEmpty())
        return failed(loaded.error);
    const Raster raster = loaded.raster;

    ColorValue target = m_settings.color.value_or(0);
    if (m_settings.pick) {
        target = raster.point(m_settings.pick->x(), m_settings.pick->y());
        if (target == NoColor) {
            return failed(QStringLiteral("--pick %1,%2 lies outside the picture %3 (%4 × %5 "
                                         "pixels).")
                              .arg(m_settings.pick->x())
                              .arg(m_settings.pick->y())
                              .arg(displayName(m_picture))
                              .arg(raster.width())
                              .arg(raster.height()));
        }
    }

    TraceSettings trace = m_settings.trace;
    trace.target = target;
    const bool toStandardOutput = m_outputName == PlotOutput::standardOutputName();
    const PlotFormat format = m_settings.format.value_or(
        toStandardOutput ? PlotFormat::Ipf : plotformat::fromFileName(m_outputName.toStdString()));
    QString scale = m_settings.scale;
    if (const std::optional<QString> problem =
            sizeProblem(format, raster.width(), raster.height(), scale))
        return failed(*problem);
    if (m_settings.scaleFromPicture) {
        if (!loaded.density.stated())
            return failed(QStringLiteral("Cannot take the scale from the picture %1: it does not "
                                         "say how large it is (no dots per inch). Give --scale "
                                         "in mils, --width or --height.")
                              .arg(displayName(m_picture)));
        scale = PlotSize::scaleText(loaded.density.milsPerPixel());
    }
    ConverterFrontEnd frontEnd(m_picture, raster, trace, scale, m_settings.thickness);
    frontEnd.setShowProgress(m_settings.showProgress &&
                             qint64(raster.width()) * raster.height() >= 16'000'000);
    ConsolePlatform platform;
    ConversionRun run(frontEnd, platform);
    run.setOutput(&output);
    run.setFormat(format);
    run.setStyle(m_settings.style);
    // A footprint is named after its file, or after the picture when it has none.
    run.setDesignName(
        QFileInfo(toStandardOutput || m_picture == QLatin1String("-") ? m_picture : m_outputName)
            .completeBaseName());
    const RunResult result = run.run();
    frontEnd.endProgressLine();
    if (result.outcome != RunOutcome::Written)
        return failed(result.message);

    JobReport report;
    report.converted = true;
    report.summaryToStandardError = output.reachesStandardOutput();
    // A dry run's report is what it was asked for, not chatter.
    if (!m_settings.quiet || m_settings.dryRun)
        report.summary = summary(raster.width(), raster.height(), loaded.turned, scale, result);
    return report;
}

std::optional<QString> PictureJob::sizeProblem(PlotFormat format, int columns, int rows,
                                               QString& scale) const
{
    if (!m_settings.widthMils && !m_settings.heightMils)
        return std::nullopt;
    const bool byWidth = m_settings.widthMils.has_value();
    std::string scaleText;
    const std::string problem = settingcheck::sizeProblem(
        displayName(m_settings.sizeText).toStdString(), m_settings.sizeUnit,
        byWidth ? *m_settings.widthMils : *m_settings.heightMils, byWidth,
        displayName(m_picture).toStdString(), format, columns, rows, m_settings.style, scaleText);
    if (!problem.empty())
        return QString::fromStdString(problem);
    scale = QString::fromStdString(scaleText);
    return std::nullopt;
}

QString PictureJob::summary(int width, int height, bool turned, const QString& scale,
                            const RunResult& result) const
{
    const QString picture = displayName(m_picture);
    const QString output = displayName(result.outputPath);
    // A scale worked out from --width, --height or the picture is told, so it can be used
    // again.
    QString sized = m_settings.widthMils || m_settings.heightMils || m_settings.scaleFromPicture
                        ? QStringLiteral(" at scale ") + scale
                        : QString();
    if (turned)
        sized += QStringLiteral(", turned as its EXIF orientation says");
    // Outline plots count their shapes and the corners of their contours.
    const bool outline = m_settings.style.shape == PlotShape::Outline;
    if (!m_settings.dryRun) {
        const QString what =
            outline
                ? QStringLiteral("%1 shapes (%2 vertices)").arg(result.shapes).arg(result.vertices)
                : QStringLiteral("%1 segments").arg(result.segments);
        return QStringLiteral("%1 from %2 (%3 x %4 pixels%5) written to %6")
            .arg(what, picture)
            .arg(width)
            .arg(height)
            .arg(sized, output);
    }
    const QString what =
        outline ? QStringLiteral("%1 shapes, %2 vertices").arg(result.shapes).arg(result.vertices)
                : QStringLiteral("%1 segments").arg(result.segments);
    const double pixelMils = std::abs(*parseNumber(scale.toStdString()));
    const double widthMils = width * pixelMils;
    const double heightMils = height * pixelMils;
    return QStringLiteral("dry run: %1, %2 bytes from %3 (%4 x %5 pixels%11, %6 x %7 "
                          "mils, %8 x %9 mm) would be written to %10")
        .arg(what)
        .arg(result.bytes)
        .arg(picture)
        .arg(width)
        .arg(height)
        .arg(QString::fromStdString(numberText(widthMils)),
             QString::fromStdString(numberText(heightMils)), millimetres(widthMils),
             millimetres(heightMils), output, sized);
}

} // namespace kelviq
