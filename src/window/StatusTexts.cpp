#include "window/StatusTexts.h"

#include "output/DisplayName.h"
#include "plot/NumberText.h"
#include "run/ConversionRun.h"
#include "run/PlotSize.h"
#include "window/ColorSwatch.h"

#include <QFileInfo>
#include <QLocale>
#include <cmath>

namespace kelviq {

namespace {

const QString Separator = QStringLiteral("   ");

// Thinner lines than this are finer than many board makers print on silkscreen.
constexpr double SilkscreenMils = 5.0;

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// "1 segment", "2 segments": the count before the plot is made and after.
QString segmentsText(qint64 segments)
{
    return segments == 1 ? QStringLiteral("1 segment")
                         : QStringLiteral("%1 segments").arg(segments);
}

// "23 shapes (118 vertices)", as the converter counts an outline plot.
QString shapesText(qint64 shapes, qint64 vertices)
{
    return (shapes == 1 ? QStringLiteral("1 shape") : QStringLiteral("%1 shapes").arg(shapes)) +
           QStringLiteral(" (%1 vertices)").arg(vertices);
}

QString sizeText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeSIFormat);
}

} // namespace

std::optional<double> StatusTexts::number(const QString& text)
{
    return parseNumber(text.toStdString());
}

QString StatusTexts::lengthText(double value)
{
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString StatusTexts::facts(const StatusFacts& facts)
{
    QStringList parts;
    if (facts.picture.isEmpty()) {
        parts.append(QStringLiteral("No picture"));
    } else {
        parts.append(QStringLiteral("%1 × %2 pixels")
                         .arg(facts.picture.width())
                         .arg(facts.picture.height()));
        const std::optional<double> scale = number(facts.scaleText);
        if (!scale) {
            parts.append(QStringLiteral("scale ") + quoted(facts.scaleText) +
                         QStringLiteral(" is not a number"));
        } else {
            const double width = facts.picture.width() * *scale;
            const double height = facts.picture.height() * *scale;
            parts.append(QStringLiteral("plot %1 × %2 mils (%3 × %4 mm)")
                             .arg(lengthText(width), lengthText(height),
                                  lengthText(width * PlotSize::MillimetresPerMil),
                                  lengthText(height * PlotSize::MillimetresPerMil)));
        }
    }
    parts.append(ColorSwatch::colorName(facts.settings.target));
    if (!facts.picture.isEmpty() && facts.outlines) {
        parts.append(facts.shapes ? shapesText(*facts.shapes, facts.vertices)
                                  : QStringLiteral("counting shapes…"));
    } else if (!facts.picture.isEmpty()) {
        parts.append(facts.segments ? segmentsText(*facts.segments)
                                    : QStringLiteral("counting segments…"));
    }
    return parts.join(Separator);
}

QString StatusTexts::nothingTraced(const TraceSettings& settings)
{
    const QString color = ColorSwatch::colorName(settings.target);
    const QString near = settings.tolerance > 0
                             ? QStringLiteral("within %1 of ").arg(settings.tolerance) + color
                             : color;
    QString what;
    if (settings.invert && settings.despeckle > 1)
        what = QStringLiteral("no group of %1 or more pixels that are not %2")
                   .arg(settings.despeckle)
                   .arg(near);
    else if (settings.invert)
        what = QStringLiteral("every pixel is ") + near;
    else if (settings.despeckle > 1)
        what = QStringLiteral("no group of %1 or more pixels %2")
                   .arg(settings.despeckle)
                   .arg((settings.tolerance > 0 ? QString() : QStringLiteral("of ")) + near);
    else
        what = QStringLiteral("no pixel ") +
               (settings.tolerance > 0 ? QString() : QStringLiteral("of ")) + near;
    return what + QStringLiteral(" in this picture — pick the colour to trace.");
}

QString StatusTexts::thicknessAdvice(const QString& scaleText, const QString& thicknessText,
                                     bool outlines)
{
    const std::optional<double> thickness = number(thicknessText);
    if (!thickness)
        return QStringLiteral("Lines Thick ") + quoted(thicknessText) +
               QStringLiteral(" is not a number: type the thickness in mils.");
    QStringList parts;
    if (const std::optional<double> scale = number(scaleText); scale && *scale > 0.0) {
        const double difference = *thickness - *scale;
        const QString matching = QStringLiteral("type %1 as Lines Thick to cover the rows exactly.")
                                     .arg(lengthText(*scale));
        if (difference <= -NegligibleMils) {
            parts.append(QStringLiteral("Gaps of %1 mils between rows: lines thinner than the "
                                        "pixel pitch; ")
                             .arg(lengthText(-difference)) +
                         matching);
        } else if (difference >= NegligibleMils) {
            parts.append(QStringLiteral("Rows %1 mils taller than their pixels: the artwork "
                                        "grows %2 mils at top and bottom; ")
                             .arg(lengthText(difference), lengthText(difference / 2.0)) +
                         matching);
        }
    }
    if (*thickness < SilkscreenMils) {
        parts.append(QStringLiteral("Thinner than 5 mils (0.127 mm): finer than many board "
                                    "makers print on silkscreen."));
    }
    // Filled outlines follow the pixels' edges and have no thickness: it only draws out.plt.
    if (outlines && !parts.isEmpty())
        parts.front().prepend(QStringLiteral("In out.plt: "));
    return parts.join(Separator);
}

QString StatusTexts::advice(const StatusFacts& facts)
{
    QStringList parts;
    if (!facts.picture.isEmpty() && facts.segments == 0)
        parts.append(QStringLiteral("Nothing to trace: ") + nothingTraced(facts.settings));
    if (facts.hint && facts.settings.tolerance == 0) {
        const QString color = ColorSwatch::colorName(facts.settings.target);
        const QString exact =
            facts.hint->timesExact > 0
                ? QStringLiteral("Few pixels are exactly %1, %2 times as many are within %3 of "
                                 "it")
                      .arg(color)
                      .arg(std::floor(facts.hint->timesExact))
                      .arg(facts.hint->tolerance)
                : QStringLiteral("No pixel is exactly %1 but many are within %2 of it")
                      .arg(color)
                      .arg(facts.hint->tolerance);
        parts.append(exact + QStringLiteral(": try Tolerance %1.").arg(facts.hint->tolerance));
    }
    if (facts.density.stated()) {
        const double mils = facts.density.milsPerPixel();
        const std::optional<double> scale = number(facts.scaleText);
        if (!scale || std::abs(*scale - mils) > 1e-9 * mils) {
            const QString dpi = facts.density.dpiX == facts.density.dpiY
                                    ? lengthText(facts.density.dpiX)
                                    : lengthText(facts.density.dpiX) + QStringLiteral(" × ") +
                                          lengthText(facts.density.dpiY);
            parts.append(QStringLiteral("Picture says %1 dpi = %2 mils per pixel.")
                             .arg(dpi, lengthText(mils)));
        }
    }
    const QString thickness = thicknessAdvice(facts.scaleText, facts.thicknessText, facts.outlines);
    if (!thickness.isEmpty())
        parts.append(thickness);
    return parts.join(Separator);
}

QString StatusTexts::run(const RunResult& result, const TraceSettings& settings)
{
    switch (result.outcome) {
    case RunOutcome::Written: {
        const bool outline = result.shape == PlotShape::Outline;
        const QString written =
            (outline ? shapesText(result.shapes, result.vertices) : segmentsText(result.segments)) +
            QStringLiteral(" written to ") + displayName(result.outputPath) + QStringLiteral(" (") +
            sizeText(result.bytes) + QLatin1Char(')');
        if ((outline ? result.shapes : result.segments) == 0)
            return written + QStringLiteral(": the plot is empty, ") + nothingTraced(settings);
        return written + QLatin1Char('.');
    }
    case RunOutcome::NoPicture:
        return QStringLiteral("out.plt not made: no picture chosen.");
    case RunOutcome::Abandoned:
        return {};
    case RunOutcome::BadSetting:
    case RunOutcome::OpenFailed:
    case RunOutcome::WriteFailed:
        break;
    }
    return oneLine(result.message, {result.outputPath});
}

QString StatusTexts::view(const QString& viewName, double zoom)
{
    const double percent = zoom * 100.0;
    const QString number =
        percent >= 100.0 ? QString::number(std::round(percent)) : QString::number(percent, 'g', 3);
    return viewName + QStringLiteral(" · ") + number + QStringLiteral(" %");
}

QString StatusTexts::opened(const QString& path, const QString& error, const QStringList& ignored,
                            const QString& keptView, bool turned)
{
    if (!error.isEmpty() && ignored.isEmpty())
        return oneLine(error, {path});
    QStringList says;
    if (!ignored.isEmpty()) {
        QStringList names;
        for (const QString& name : ignored)
            names.append(oneLine(name));
        says.append(
            (error.isEmpty() ? QStringLiteral("Opened ") : QStringLiteral("Could not open ")) +
            oneLine(path) + QStringLiteral("; one picture at a time, so these were ignored: ") +
            names.join(QStringLiteral(", ")) + QLatin1Char('.'));
    } else if (!keptView.isEmpty()) {
        says.append(QStringLiteral("Shown in the %1 view, as the picture before; Ctrl+1 shows "
                                   "the picture itself.")
                        .arg(keptView));
    }
    // A photo turned upright as every viewer shows it: its rows are not the file's.
    if (turned && error.isEmpty())
        says.append(QStringLiteral("Turned as its EXIF orientation says."));
    return says.join(QLatin1Char(' '));
}

QString StatusTexts::reading(const QString& path, int percent, qint64 bytes)
{
    const QString done = percent >= 0 ? QStringLiteral("%1 %").arg(percent) : sizeText(bytes);
    return QStringLiteral("Reading ") + displayName(QFileInfo(path).fileName()) +
           QStringLiteral(" … ") + done + QStringLiteral(". Esc cancels.");
}

QString StatusTexts::oneLine(QString text, const QStringList& names)
{
    for (const QString& name : names) {
        if (!name.isEmpty())
            text.replace(name, displayName(name));
    }
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return displayName(text.simplified());
}

} // namespace kelviq
