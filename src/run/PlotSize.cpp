#include "run/PlotSize.h"

#include "plot/NumberText.h"
#include "plot/PlotLength.h"

#include <string>

namespace kelviq {

double PlotSize::toMils(double value, Unit unit)
{
    return plotlength::toMils(value, unit);
}

QString PlotSize::unitName(Unit unit)
{
    return QString::fromUtf8(plotlength::unitName(unit));
}

std::optional<double> PlotSize::parseLength(QStringView text, QString* why, Unit* unitGiven)
{
    std::string reason;
    const std::optional<double> mils =
        plotlength::parse(text.toString().toStdString(), &reason, unitGiven);
    if (!mils && why)
        *why = QString::fromStdString(reason);
    return mils;
}

std::optional<double> PlotSize::scaleFor(double wantedMils, int pixels)
{
    return plotlength::scaleFor(wantedMils, pixels);
}

QString PlotSize::scaleText(double scale)
{
    return QString::fromStdString(numberText(scale));
}

} // namespace kelviq
