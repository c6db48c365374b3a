#include "run/ConversionRun.h"

#include "output/DeviceSink.h"
#include "output/DisplayName.h"
#include "output/PlotOutput.h"
#include "platform/PlatformServices.h"
#include "plot/NumberText.h"
#include "plot/OutlineTracer.h"
#include "plot/PlotGeometry.h"
#include "plot/SegmentWriter.h"
#include "run/ConversionFrontEnd.h"
#include "trace/Tracer.h"

#include <QStringList>
#include <cmath>
#include <functional>
#include <optional>

namespace kelviq {

namespace {

const QChar CR(u'\r');

// Every message ends with a full stop, also where it ends with the system's reason.
QString sentence(const QString& text)
{
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

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

bool widthFits(PlotFormat format, double plotUnits)
{
    return plotUnits >= 0.0 && plotformat::info(format).widthProblem(plotUnits).empty();
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

QString ConversionRun::shapeProblem(PlotFormat format, PlotShape shape)
{
    const PlotFormatInfo& info = plotformat::info(format);
    if (shape != PlotShape::Outline || info.filledShapes)
        return {};
    QStringList holding;
    for (const PlotFormatInfo& other : plotformat::all())
        if (other.filledShapes)
            holding << QString::fromUtf8(other.title);
    const QString last = holding.isEmpty() ? QString() : holding.takeLast();
    return QString::fromUtf8(info.title) +
           QStringLiteral(" files hold lines only; filled outlines can be written as ") +
           (holding.isEmpty()
                ? last
                : holding.join(QStringLiteral(", ")) + QStringLiteral(" or ") + last) +
           QLatin1Char('.');
}

QString ConversionRun::rangeProblem(const QString& scaleText, const QString& thicknessText,
                                    PlotFormat format, PlotShape shape)
{
    const double scale = parseNumber(scaleText.toStdString()).value_or(0.0);
    if (!(scale > 0.0)) {
        return QStringLiteral("The scale ") + quoted(scaleText) +
               QStringLiteral(" must be more than 0.") + CR +
               QStringLiteral("Type the size of one pixel in mils, for example 2 or 0.5.");
    }
    // Outlines have no thickness: it plays no part in them.
    if (shape == PlotShape::Outline)
        return {};
    const double width = lineWidth(thicknessText).value_or(-1.0);
    if (width < 0.0) {
        return QStringLiteral("The line thickness ") + quoted(thicknessText) +
               QStringLiteral(" is negative.") + CR +
               QStringLiteral("Type the thickness in mils, for example 10 or 7.5.");
    }
    if (const std::string problem = plotformat::info(format).widthProblem(width);
        !problem.empty()) {
        const bool thin = width < 1000.0;
        const double bound =
            (thin ? plotformat::thinnestWidth(format) : plotformat::thickestWidth(format)) / 100;
        const QString offer =
            thin && bound < 1e-9
                ? QStringLiteral("Type a thickness above 0 mils, for example 10 or 7.5.")
                : (thin ? QStringLiteral("The thinnest") : QStringLiteral("The thickest")) +
                      QStringLiteral(" line that fits is ") +
                      typeableWithin(
                          bound, !thin,
                          [format](double mils) { return widthFits(format, mils * 100.0); }) +
                      QStringLiteral(" mils.");
        return QStringLiteral("The line thickness ") + quoted(thicknessText) +
               QStringLiteral(" is ") + QString::fromStdString(problem) + QLatin1Char('.') + CR +
               offer;
    }
    return {};
}

QString ConversionRun::limitProblem(PlotFormat format, int columns, int rows, double scale,
                                    const PlotStyle& style)
{
    return QString::fromStdString(plotformat::info(format).limitProblem(
        PlotGeometry(columns, rows, scale, style.side, style.shape)));
}

QString ConversionRun::typeableWithin(double limit, bool down,
                                      const std::function<bool(double)>& fits)
{
    if (!(limit > 0.0) || !std::isfinite(limit))
        return QString::fromStdString(numberText(limit));
    // log10 rounds up just below a power of ten; the digits must not.
    double exponent = std::floor(std::log10(limit));
    if (std::pow(10.0, exponent) > limit)
        exponent -= 1;
    const double step = std::pow(10.0, exponent - 5);
    double value = (down ? std::floor(limit / step) : std::ceil(limit / step)) * step;
    for (int tries = 0; tries < 20 && value > 0.0; ++tries, value += down ? -step : step) {
        const std::string text = numberText(value);
        if (const std::optional<double> typed = parseNumber(text); typed && fits(*typed))
            return QString::fromStdString(text);
    }
    return QString::fromStdString(numberText(limit));
}

QString ConversionRun::largestScaleText(PlotFormat format, int columns, int rows,
                                        const PlotStyle& style)
{
    return typeableWithin(
        plotformat::largestScale(format, columns, rows, style), true,
        [&](double scale) { return limitProblem(format, columns, rows, scale, style).isEmpty(); });
}

QString ConversionRun::cannotCreateText(const PlotOutput& output)
{
    return QStringLiteral("Cannot create the plot file ") + displayName(output.path()) +
           QLatin1Char(':') + CR + sentence(output.errorString());
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
    if (const QString problem = shapeProblem(m_format, m_style.shape); !problem.isEmpty())
        return fail(result, problem);
    if (const QString problem = rangeProblem(scaleText, thicknessText, m_format, m_style.shape);
        !problem.isEmpty())
        return fail(result, problem);
    const double pixelMils = *parseNumber(scaleText.toStdString());
    const double width = *lineWidth(thicknessText);
    const Raster picture = m_frontEnd.picture();
    const int columns = picture.width();
    const int rows = picture.height();
    const PlotGeometry geometry(columns, rows, pixelMils, m_style.side, m_style.shape);
    const bool outline = m_style.shape == PlotShape::Outline;
    const PlotFormatInfo& format = plotformat::info(m_format);
    if (const QString problem = limitProblem(m_format, columns, rows, pixelMils, m_style);
        !problem.isEmpty()) {
        return fail(result, QStringLiteral("The scale ") + quoted(scaleText) +
                                QStringLiteral(" is ") + problem + QLatin1Char('.') + CR +
                                QStringLiteral("The largest scale that fits this picture (%1 × "
                                               "%2 pixels) is %3.")
                                    .arg(columns)
                                    .arg(rows)
                                    .arg(largestScaleText(m_format, columns, rows, m_style)));
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
            if (const std::optional<double> w = lineWidth(text); w && widthFits(m_format, *w))
                writer.setLineWidth(*w);
        }
        m_frontEnd.rowDone(y, rows);
        return true;
    });

    std::vector<Run> runs;
    int y = 0;
    if (outline) {
        // Shapes are written as they complete, so only the open ones are held.
        OutlineTracer outlines;
        Shape shape;
        auto writeCompleted = [&] {
            while (outlines.takeShape(shape)) {
                writer.writeShape(shape);
                ++result.shapes;
                result.vertices += static_cast<qint64>(shape.outline.size());
                for (const Contour& hole : shape.holes)
                    result.vertices += static_cast<qint64>(hole.size());
            }
        };
        while (tracer.nextRow(y, runs)) {
            outlines.addRow(y, runs);
            writeCompleted();
        }
        if (!abandoned) {
            outlines.finish();
            writeCompleted();
        }
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
