#include "window/StatusLine.h"

#include "plot/NumberText.h"
#include "run/ConversionRun.h"
#include "run/PlotSize.h"
#include "window/ColorSwatch.h"

#include <QGridLayout>
#include <QLabel>
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

} // namespace

StatusLine::StatusLine(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusLine"));
    setSizeGripEnabled(false);
    // Two rows, so that a run's full path and the advice both fit a window of 1024 pixels:
    // the facts and the last run's outcome (it is news) above, the advice below. The advice's
    // row stays when empty, so the window's client area never changes height.
    auto* rows = new QWidget(this);
    auto* grid = new QGridLayout(rows);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(0);
    grid->setHorizontalSpacing(fontMetrics().horizontalAdvance(Separator));
    m_facts = addPart("StatusFacts");
    m_run = addPart("StatusRun");
    m_advice = addPart("StatusAdvice");
    grid->addWidget(m_facts, 0, 0);
    grid->addWidget(m_run, 0, 1);
    grid->addWidget(m_advice, 1, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    addWidget(rows, 1);
}

QLabel* StatusLine::addPart(const char* name)
{
    auto* label = new QLabel(this);
    label->setObjectName(QLatin1String(name));
    // Long texts are cut at the window's edge instead of widening the window; the tooltip
    // holds them whole.
    label->setMinimumWidth(1);
    label->setMinimumHeight(label->fontMetrics().height()); // also while empty
    return label;
}

QString StatusLine::lengthText(double value)
{
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    return text == QLatin1String("-0") ? QStringLiteral("0") : text;
}

QString StatusLine::factsText(const StatusFacts& facts)
{
    QStringList parts;
    if (facts.picture.isEmpty()) {
        parts.append(QStringLiteral("No picture"));
    } else {
        parts.append(QStringLiteral("%1 × %2 pixels")
                         .arg(facts.picture.width())
                         .arg(facts.picture.height()));
        const std::optional<double> scale = parseNumber(facts.scaleText.toStdString());
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
    parts.append(ColorSwatch::colorName(facts.color));
    if (!facts.picture.isEmpty()) {
        if (!facts.segments)
            parts.append(QStringLiteral("counting segments…"));
        else
            parts.append(segmentsText(*facts.segments));
    }
    return parts.join(Separator);
}

QString StatusLine::adviceText(const QString& scaleText, const QString& thicknessText)
{
    const std::optional<double> thickness = parseNumber(thicknessText.toStdString());
    if (!thickness)
        return QStringLiteral("thickness ") + quoted(thicknessText) +
               QStringLiteral(" is not a number");
    QStringList parts;
    if (const std::optional<double> scale = parseNumber(scaleText.toStdString());
        scale && *scale > 0.0) {
        const double difference = *thickness - *scale;
        if (difference < 0.0) {
            parts.append(QStringLiteral("Gaps of %1 mils between rows: lines thinner than "
                                        "the pixel pitch")
                             .arg(lengthText(-difference)));
        } else if (difference > 0.0) {
            parts.append(QStringLiteral("Rows %1 mils taller than their pixels: the artwork "
                                        "grows %2 mils at top and bottom")
                             .arg(lengthText(difference), lengthText(difference / 2.0)));
        }
    }
    if (*thickness < SilkscreenMils) {
        parts.append(QStringLiteral("Thinner than 5 mils (0.127 mm): finer than many board "
                                    "makers print on silkscreen"));
    }
    return parts.join(Separator);
}

QString StatusLine::runText(const RunResult& result)
{
    switch (result.outcome) {
    case RunOutcome::Written:
        return segmentsText(result.segments) + QStringLiteral(" written to ") + result.outputPath +
               QStringLiteral(" (") +
               QLocale::c().formattedDataSize(result.bytes, 1, QLocale::DataSizeSIFormat) +
               QLatin1Char(')');
    case RunOutcome::NoPicture:
        return QStringLiteral("out.plt not made: no picture chosen");
    case RunOutcome::Abandoned:
        return {};
    case RunOutcome::BadSetting:
    case RunOutcome::OpenFailed:
    case RunOutcome::WriteFailed:
        break;
    }
    QString line = result.message;
    line.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return line.simplified();
}

void StatusLine::showFacts(const StatusFacts& facts)
{
    m_facts->setText(factsText(facts));
    const QString advice = adviceText(facts.scaleText, facts.thicknessText);
    m_advice->setText(advice);
    m_advice->setToolTip(advice);
}

void StatusLine::showRun(const RunResult& result)
{
    showNote(runText(result));
}

void StatusLine::showNote(const QString& text)
{
    m_run->setText(text);
    m_run->setToolTip(text);
    m_run->setVisible(!text.isEmpty());
}

} // namespace kelviq
