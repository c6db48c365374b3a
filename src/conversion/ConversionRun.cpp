#include "ConversionRun.h"

#include "ConversionFrontEnd.h"
#include "GerberWriter.h"
#include "NumberText.h"
#include "PlatformServices.h"
#include "PlotGeometry.h"
#include "SegmentWriter.h"
#include "Tracer.h"

#include <QDir>
#include <QSaveFile>
#include <cmath>
#include <optional>

namespace kelviq {

namespace {

const QChar CR(u'\r');

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

std::optional<double> lineWidth(const QString& thicknessText)
{
    const std::optional<double> mils = parseNumber(thicknessText);
    if (!mils)
        return std::nullopt;
    const double width = *mils * 100.0;
    if (!std::isfinite(width))
        return std::nullopt;
    return width;
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
    result.error = message;
    m_platform.showMessage(message, messageTitle(), MessageIcon::Critical);
    return result;
}

RunResult ConversionRun::Command1_Click()
{
    RunResult result;
    if (m_frontEnd.fileName().isEmpty()) {
        result.outcome = RunOutcome::NoPicture;
        m_platform.showMessage(noPictureText(), messageTitle(), MessageIcon::Critical);
        return result;
    }

    // Settings are checked before anything is touched, so a typo never costs the old plot.
    result.outcome = RunOutcome::BadSetting;
    const QString scaleText = m_frontEnd.scaleText();
    const std::optional<double> pixelMils = parseNumber(scaleText);
    if (!pixelMils) {
        return fail(result, QStringLiteral("The scale ") + quoted(scaleText) +
                                QStringLiteral(" is not a number.") + CR +
                                QStringLiteral("Type the size of one pixel in mils, "
                                               "for example 2 or 0.5."));
    }
    const QString thicknessText = m_frontEnd.thicknessText();
    const std::optional<double> width = lineWidth(thicknessText);
    if (!width) {
        if (parseNumber(thicknessText)) {
            return fail(result, QStringLiteral("The line thickness ") + quoted(thicknessText) +
                                    QStringLiteral(" is too large."));
        }
        return fail(result, QStringLiteral("The line thickness ") + quoted(thicknessText) +
                                QStringLiteral(" is not a number.") + CR +
                                QStringLiteral("Type the thickness in mils, "
                                               "for example 10 or 7.5."));
    }
    const Raster picture = m_frontEnd.picture();
    const int columns = picture.width();
    const int rows = picture.height();
    const PlotGeometry geometry(columns, rows, *pixelMils);
    if (!std::isfinite(geometry.x(std::max(columns - 1, 0))) || !std::isfinite(geometry.y(0))) {
        return fail(result, QStringLiteral("The scale ") + quoted(scaleText) +
                                QStringLiteral(" is too large for this picture: its plot "
                                               "coordinates would not be numbers."));
    }
    if (m_format != PlotFormat::Ipf && *width < 0) {
        return fail(result, QStringLiteral("The line thickness ") + quoted(thicknessText) +
                                QStringLiteral(" is negative: ") + plotformat::name(m_format) +
                                QStringLiteral(" lines need a thickness of 0 or more."));
    }
    if (m_format == PlotFormat::Gerber) {
        if (const QString problem = GerberWriter::limitProblem(geometry); !problem.isEmpty()) {
            return fail(result, QStringLiteral("The scale ") + quoted(scaleText) +
                                    QStringLiteral(" is too large for a Gerber file: ") + problem +
                                    QLatin1Char('.'));
        }
    }

    const TraceSettings settings = m_frontEnd.traceSettings();
    m_frontEnd.setMakeButtonVisible(false);
    auto restoreControls = [this] {
        m_frontEnd.setBusyPictureVisible(0, false);
        m_frontEnd.setBusyPictureVisible(1, false);
        m_frontEnd.setMakeButtonVisible(true);
    };

    // The new plot goes to a temporary file beside out.plt and replaces it only when complete,
    // so a failed or abandoned run leaves the previous plot as it was.
    result.outputPath = QDir::current().absoluteFilePath(m_outputPath);
    QSaveFile file(result.outputPath);
    // Unbuffered: the writer gathers big blocks itself, and a failing write then reports
    // its reason ("No space left on device") instead of Qt's buffer losing it.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        restoreControls();
        result.outcome = RunOutcome::OpenFailed;
        return fail(result, QStringLiteral("Cannot create the plot file ") + result.outputPath +
                                QLatin1Char(':') + CR + file.errorString());
    }

    const std::unique_ptr<SegmentWriter> writerOwner =
        plotformat::createWriter(m_format, &file, m_designName);
    SegmentWriter& writer = *writerOwner;
    writer.setLineWidth(*width);
    writer.begin(geometry);

    Tracer tracer(picture, settings);
    QString lastThicknessText = thicknessText;
    bool abandoned = false;
    tracer.setRowReadHandler([&](int y) {
        // Stops early once the output or the picture's file has failed: the rest would be
        // discarded.
        if (writer.failed() || !picture.readError().isEmpty())
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
        file.cancelWriting();
        restoreControls();
        result.outcome = RunOutcome::Abandoned;
        return result;
    }
    writer.end();
    writer.flush();
    result.bytes = writer.bytesWritten();

    // A picture read from its file while converting can fail half way (the file shrank).
    if (const QString readError = picture.readError(); !readError.isEmpty()) {
        file.cancelWriting();
        restoreControls();
        result.outcome = RunOutcome::WriteFailed;
        return fail(result, QStringLiteral("Cannot read the picture ") + m_frontEnd.fileName() +
                                QLatin1Char(':') + CR + readError + CR +
                                QStringLiteral("The previous out.plt, if any, is unchanged."));
    }
    // QSaveFile::commit() overlooks a failure of its own last flush (disk full, file-size
    // limit) and would put a cut file in place of the old one, so flush before committing.
    if (writer.failed() || !file.flush() || !file.commit()) {
        const QString reason = writer.failed() ? writer.errorString() : file.errorString();
        file.cancelWriting();
        restoreControls();
        result.outcome = RunOutcome::WriteFailed;
        return fail(result, QStringLiteral("Cannot write the plot file ") + result.outputPath +
                                QLatin1Char(':') + CR + reason + CR +
                                QStringLiteral("The previous out.plt, if any, is unchanged."));
    }

    m_platform.beep();
    restoreControls();
    result.outcome = RunOutcome::Written;
    return result;
}

} // namespace kelviq
