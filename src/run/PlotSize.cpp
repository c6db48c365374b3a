#include "run/PlotSize.h"

#include "plot/NumberText.h"

#include <cmath>
#include <string>

namespace kelviq {

double PlotSize::toMils(double value, Unit unit)
{
    switch (unit) {
    case Unit::Millimetre:
        return value / MillimetresPerMil;
    case Unit::Inch:
        return value * MilsPerInch;
    case Unit::Mil:
        break;
    }
    return value;
}

QString PlotSize::unitName(Unit unit)
{
    switch (unit) {
    case Unit::Millimetre:
        return QStringLiteral("mm");
    case Unit::Inch:
        return QStringLiteral("in");
    case Unit::Mil:
        break;
    }
    return QStringLiteral("mil");
}

std::optional<double> PlotSize::parseLength(QStringView text, QString* why, Unit* unitGiven)
{
    const auto refuse = [&](const QString& reason) -> std::optional<double> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    const QStringView trimmed = text.trimmed();
    qsizetype split = trimmed.size();
    while (split > 0 && trimmed[split - 1].isLetter())
        --split;
    const QString unit = trimmed.mid(split).toString().toLower();
    const QStringView number = trimmed.left(split);
    if (unit.isEmpty()) {
        return refuse(QStringLiteral("the length \"%1\" has no unit: add mm, mil or in")
                          .arg(text.toString()));
    }
    Unit parsed = Unit::Mil;
    if (unit == QLatin1String("mm"))
        parsed = Unit::Millimetre;
    else if (unit == QLatin1String("in") || unit == QLatin1String("inch") ||
             unit == QLatin1String("inches"))
        parsed = Unit::Inch;
    else if (unit != QLatin1String("mil") && unit != QLatin1String("mils")) {
        return refuse(QStringLiteral("the length \"%1\" has an unknown unit \"%2\": use mm, mil "
                                     "or in")
                          .arg(text.toString(), unit));
    }
    const std::string digits = number.toString().toStdString();
    const std::optional<double> value = parseNumber(digits);
    // Written like a number but beyond what a number holds, either way.
    if ((!value && isNumberText(digits)) || (value && !std::isfinite(toMils(*value, parsed))))
        return refuse(QStringLiteral("the length \"%1\" is too large").arg(text.toString()));
    if (!value)
        return refuse(QStringLiteral("the length \"%1\" is not a number followed by mm, mil or in")
                          .arg(text.toString()));
    if (unitGiven)
        *unitGiven = parsed;
    const double mils = toMils(*value, parsed);
    const bool nonzero = digits.find_first_of("123456789") != std::string::npos;
    if (!(mils > 0.0) && *value >= 0.0 && nonzero)
        return refuse(QStringLiteral("the length \"%1\" is too small: closer to zero than "
                                     "a number holds")
                          .arg(text.toString()));
    if (!(mils > 0.0))
        return refuse(
            QStringLiteral("the length \"%1\" must be more than zero").arg(text.toString()));
    return mils;
}

std::optional<double> PlotSize::scaleFor(double wantedMils, int pixels)
{
    if (pixels <= 0 || !(wantedMils > 0.0))
        return std::nullopt;
    const double scale = wantedMils / pixels;
    if (!std::isfinite(scale) || scale <= 0.0)
        return std::nullopt;
    return scale;
}

QString PlotSize::scaleText(double scale)
{
    return QString::fromStdString(numberText(scale));
}

} // namespace kelviq
