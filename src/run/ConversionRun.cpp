#include "run/ConversionRun.h"

#include "output/DeviceSink.h"
#include "output/DisplayName.h"
#include "output/PlotOutput.h"
#include "platform/PlatformServices.h"
#include "plot/NumberText.h"
#include "plot/PlotGeometry.h"
#include "plot/SegmentWriter.h"
#include "run/ConversionFrontEnd.h"
#include "trace/Tracer.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace kelviq {

namespace {

const QChar CR(u'\r');

QString quoted(const QString& text)
{
    return QLatin1Char('"') + displayName(text) + QLatin1Char('"');
}

std::optional<double> lineWidth(const QString& thicknessText)
{
    const std::optional<double> mils = parseNumber(thicknessText.toStdString());
    if (!mils)
        return std::nullopt;
    const double width = *mils * 100.0;
    if (!std::isfinite(width))
        return std::nullopt;
    return width;
}

// A setting that is written like a number but cannot be held is too large, not "not a number".
QString badSettingText(const QString& setting, const QString& text, const QString& hint)
{
    if (isNumberText(text.toStdString()))
        return setting + quoted(text) + QStringLiteral(" is too large.");
    return setting + quoted(text) + QStringLiteral(" is not a number.") + CR + hint;
}

// The sentence that tells a failed run lost nothing, where there was something to keep.
QString keptText(const PlotOutput& output)
{
    if (output.kind() != PlotOutput::Kind::File)
        return {};
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

QString ConversionRun::settingsProblem(const QString& scaleText, const QString& thicknessText)
{
    if (!parseNumber(scaleText.toStdString())) {
        return badSettingText(QStringLiteral("The scale "), scaleText,
                              QStringLiteral("Type the size of one pixel in mils, "
                                             "for example 2 or 0.5."));
    }
    if (!lineWidth(thicknessText)) {
        return badSettingText(QStringLiteral("The line thickness "), thicknessText,
                              QStringLiteral("Type the thickness in mils, for example 10 or 7.5."));
    }
    return {};
}

QString ConversionRun::cannotCreateText(const PlotOutput& output)
{
    return QStringLiteral("Cannot create the plot file ") + displayName(output.path()) +
           QLatin1Char(':') + CR + output.errorString();
}

RunResult ConversionRun::run()
{
    RunResult result;
    if (m_frontEnd.fileName().isEmpty())
        return fail(result, noPictureText());

    // Settings are checked before anything is touched, so a typo never costs the old plot.
    result.outcome = RunOutcome::BadSetting;
    const QString scaleText = m_frontEnd.scaleText();
    const QString thicknessText = m_frontEnd.thicknessText();
    if (const QString problem = settingsProblem(scaleText, thicknessText); !problem.isEmpty())
        return fail(result, problem);
    const double pixelMils = *parseNumber(scaleText.toStdString());
    const double width = *lineWidth(thicknessText);
    const Raster picture = m_frontEnd.picture();
    const int columns = picture.width();
    const int rows = picture.height();
    const PlotGeometry geometry(columns, rows, pixelMils);
    if (!std::isfinite(geometry.x(std::max(columns - 1, 0))) || !std::isfinite(geometry.y(0))) {
        return fail(result, QStringLiteral("The scale ") + quoted(scaleText) +
                                QStringLiteral(" is too large for this picture: its plot "
                                               "coordinates would not be numbers."));
    }
    const PlotFormatInfo& format = plotformat::info(m_format);
    if (!format.negativeThickness && width < 0) {
        return fail(result, QStringLiteral("The line thickness ") + quoted(thicknessText) +
                                QStringLiteral(" is negative: ") + QString::fromUtf8(format.name) +
                                QStringLiteral(" lines need a thickness of 0 or more."));
    }
    if (const std::string problem = format.limitProblem ? format.limitProblem(geometry) : "";
        !problem.empty()) {
        return fail(result, QStringLiteral("The scale ") + quoted(scaleText) +
                                QStringLiteral(" is ") + QString::fromStdString(problem) +
                                QLatin1Char('.'));
    }

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
    writer.begin(geometry);

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
        // the same as reading it for every segment. A text gone bad keeps the last good width.
        const QString text = m_frontEnd.thicknessText();
        if (text != lastThicknessText) {
            lastThicknessText = text;
            if (const std::optional<double> w = lineWidth(text))
                writer.setLineWidth(*w);
        }
        m_frontEnd.rowDone(y, rows);
        return true;
    });

    std::vector<Run> runs;
    int y = 0;
    while (tracer.nextRow(y, runs)) {
        writer.writeRow(y, runs);
        result.segments += static_cast<qint64>(runs.size());
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
                                readError + keptText(output));
    }
    if (writer.failed() || !output.commit()) {
        const QString reason =
            writer.failed() ? QString::fromStdString(writer.errorString()) : output.errorString();
        output.cancel();
        restoreControls();
        result.outcome = RunOutcome::WriteFailed;
        return fail(result, QStringLiteral("Cannot write the plot file ") +
                                displayName(output.path()) + QLatin1Char(':') + CR + reason +
                                keptText(output));
    }

    restoreControls();
    result.outcome = RunOutcome::Written;
    return result;
}

} // namespace kelviq
