#include "run/ConversionRun.h"

#include "output/DeviceSink.h"
#include "output/DisplayName.h"
#include "output/PlotOutput.h"
#include "platform/PlatformServices.h"
#include "plot/NumberText.h"
#include "plot/PlotGeometry.h"
#include "plot/SegmentWriter.h"
#include "plot/SettingChecks.h"
#include "plot/ShapeStream.h"
#include "run/ConversionFrontEnd.h"
#include "trace/Tracer.h"

#include <cmath>
#include <optional>

namespace kelviq {

namespace {

const QChar CR(u'\r');

// Every message ends with a full stop, also where it ends with the system's reason.
QString sentence(const QString& text)
{
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

// The sentence that tells what became of the file there was before, where there was one.
QString keptText(const PlotOutput& output)
{
    if (output.kind() != PlotOutput::Kind::File)
        return {};
    if (!output.previousKept()) {
        return CR + displayName(output.fileName()) +
               QStringLiteral(" was being written into (it is shared by other names or "
                              "belongs to someone else) and may be incomplete.");
    }
    return CR + QStringLiteral("The previous ") + displayName(output.fileName()) +
           QStringLiteral(", if any, is unchanged.");
}

} // namespace

ConversionRun::ConversionRun(ConversionFrontEnd& frontEnd, PlatformServices& platform)
    : m_frontEnd(frontEnd), m_platform(platform)
{
}

QString ConversionRun::noPictureText()
{
    return QStringLiteral("This program has performed an illegal operation ") + CR +
           QStringLiteral("and it will be traced by Quorvane.") + CR + CR +
           QStringLiteral("If you persist in not selecting a BMP file ") + CR +
           QStringLiteral("you wont get your out.plt file made.");
}

QString ConversionRun::messageTitle()
{
    return QStringLiteral("KELVIQ");
}

RunResult ConversionRun::fail(RunResult result, const QString& message)
{
    result.message = message;
    return result;
}

namespace {

// The setting as typed, and as a message quotes it: control characters escaped.
struct SettingText
{
    explicit SettingText(const QString& text)
        : typed(text.toStdString()), shown(displayName(text).toStdString())
    {
    }
    operator settingcheck::Setting() const { return {typed, shown}; }

    std::string typed;
    std::string shown;
};

} // namespace

QString ConversionRun::settingsProblem(const QString& scaleText, const QString& thicknessText)
{
    return QString::fromStdString(
        settingcheck::unreadableProblem(SettingText(scaleText), SettingText(thicknessText)));
}

QString ConversionRun::shapeProblem(PlotFormat format, PlotShape shape)
{
    return QString::fromStdString(settingcheck::shapeProblem(format, shape));
}

QString ConversionRun::rangeProblem(const QString& scaleText, const QString& thicknessText,
                                    PlotFormat format, PlotShape shape)
{
    return QString::fromStdString(settingcheck::rangeProblem(
        SettingText(scaleText), SettingText(thicknessText), format, shape));
}

QString ConversionRun::cannotCreateText(const PlotOutput& output)
{
    return QStringLiteral("Cannot create the plot file ") + displayName(output.path()) +
           QLatin1Char(':') + CR + sentence(output.errorString());
}

RunResult ConversionRun::run()
{
    RunResult result;
    result.shape = m_style.shape;
    if (m_frontEnd.fileName().isEmpty())
        return fail(result, noPictureText());

    // Settings are checked before anything is touched, so a typo never costs the old plot.
    result.outcome = RunOutcome::BadSetting;
    const QString scaleText = m_frontEnd.scaleText();
    const QString thicknessText = m_frontEnd.thicknessText();
    if (const QString problem = settingsProblem(scaleText, thicknessText); !problem.isEmpty())
        return fail(result, problem);
    if (const QString problem = shapeProblem(m_format, m_style.shape); !problem.isEmpty())
        return fail(result, problem);
    if (const QString problem = rangeProblem(scaleText, thicknessText, m_format, m_style.shape);
        !problem.isEmpty())
        return fail(result, problem);
    const double pixelMils = *parseNumber(scaleText.toStdString());
    const double width = *settingcheck::lineWidth(thicknessText.toStdString());
    const Raster picture = m_frontEnd.picture();
    const int columns = picture.width();
    const int rows = picture.height();
    const PlotGeometry geometry(columns, rows, pixelMils, m_style.side, m_style.shape);
    const bool outline = m_style.shape == PlotShape::Outline;
    const PlotFormatInfo& format = plotformat::info(m_format);
    if (const std::string problem =
            settingcheck::scaleProblem(SettingText(scaleText), m_format, columns, rows, m_style);
        !problem.empty())
        return fail(result, QString::fromStdString(problem));

    const TraceSettings settings = m_frontEnd.traceSettings();
    m_frontEnd.setMakeButtonVisible(false);
    auto restoreControls = [this] {
        m_frontEnd.setBusyPictureVisible(0, false);
        m_frontEnd.setBusyPictureVisible(1, false);
        m_frontEnd.setMakeButtonVisible(true);
    };

    // A file is replaced only when the new plot is complete, so a failed or abandoned run
    // leaves the previous plot as it was.
    PlotOutput ownOutput(m_outputPath);
    PlotOutput& output = m_output ? *m_output : ownOutput;
    result.outputPath = output.path();
    if (!output.isOpen() && !output.open({m_frontEnd.pictureIdentity()})) {
        restoreControls();
        result.outcome = RunOutcome::OpenFailed;
        return fail(result, cannotCreateText(output));
    }

    DeviceSink sink(output.device());
    const std::unique_ptr<SegmentWriter> writerOwner =
        format.createWriter(sink, m_designName.toStdString());
    SegmentWriter& writer = *writerOwner;
    writer.setLineWidth(width);
    writer.begin(geometry, m_style.layer);

    Tracer tracer(picture, settings);
    QString lastThicknessText = thicknessText;
    bool abandoned = false;
    tracer.setRowReadHandler([&](int y) {
        // Stops early once the output or the picture's file has failed: the rest would be
        // discarded.
        if (writer.failed() || !picture.readError().empty())
            return false;
        if ((y & 63) == 31) {
            m_frontEnd.setBusyPictureVisible(0, false);
            m_frontEnd.setBusyPictureVisible(1, true);
        } else if ((y & 63) == 63) {
            m_frontEnd.setBusyPictureVisible(0, true);
            m_frontEnd.setBusyPictureVisible(1, false);
        }
        m_platform.processEvents();
        if (m_platform.endRequested()) {
            abandoned = true;
            return false;
        }
        // The thickness can only change while events run, so reading it once per row is
        // the same as reading it for every segment. A text gone bad, or a width the format
        // cannot write, keeps the last good width.
        const QString text = m_frontEnd.thicknessText();
        if (text != lastThicknessText) {
            lastThicknessText = text;
            if (const std::optional<double> w = settingcheck::lineWidth(text.toStdString());
                w && settingcheck::widthFits(m_format, *w))
                writer.setLineWidth(*w);
        }
        m_frontEnd.rowDone(y, rows);
        return true;
    });

    std::vector<Run> runs;
    int y = 0;
    if (outline) {
        // Shapes are written as they complete, so only the open ones are held.
        ShapeStream shapes([&writer](const Shape& shape) { writer.writeShape(shape); });
        while (tracer.nextRow(y, runs))
            shapes.addRow(y, runs);
        if (!abandoned)
            shapes.finish();
        result.shapes = shapes.shapes();
        result.vertices = shapes.vertices();
    } else {
        while (tracer.nextRow(y, runs)) {
            writer.writeRow(y, runs);
            result.segments += static_cast<qint64>(runs.size());
        }
    }
    if (abandoned) {
        output.cancel();
        restoreControls();
        result.outcome = RunOutcome::Abandoned;
        return result;
    }
    writer.end();
    writer.flush();
    result.bytes = writer.bytesWritten();

    // A picture read from its file while converting can fail half way (the file shrank).
    if (const QString readError = QString::fromStdString(picture.readError());
        !readError.isEmpty()) {
        output.cancel();
        restoreControls();
        result.outcome = RunOutcome::WriteFailed;
        return fail(result, QStringLiteral("Cannot read the picture ") +
                                displayName(m_frontEnd.fileName()) + QLatin1Char(':') + CR +
                                sentence(readError) + keptText(output));
    }
    if (writer.failed() || !output.commit()) {
        const QString reason =
            writer.failed() ? QString::fromStdString(writer.errorString()) : output.errorString();
        output.cancel();
        restoreControls();
        result.outcome = RunOutcome::WriteFailed;
        return fail(result, QStringLiteral("Cannot write the plot file ") +
                                displayName(output.path()) + QLatin1Char(':') + CR +
                                sentence(reason) + keptText(output));
    }

    restoreControls();
    result.outcome = RunOutcome::Written;
    return result;
}

} // namespace kelviq
