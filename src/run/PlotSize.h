#pragma once

#include <QString>
#include <QStringView>
#include <optional>

namespace kelviq {

// Lengths on the board and the scale that gives a plot of a wanted size. The plot of a picture
// W pixels wide at S mils per pixel is W × S mils wide (and likewise for the height).
class PlotSize
{
public:
    enum class Unit
    {
        Millimetre,
        Mil,
        Inch
    };

    static constexpr double MilsPerInch = 1000.0;
    static constexpr double MillimetresPerMil = 0.0254;

    static double toMils(double value, Unit unit);
    // "mm", "mil" or "in".
    static QString unitName(Unit unit);

    // Reads a length such as "25mm", "800 mil" or "1in" (unit names in any case, "mils",
    // "inch" and "inches" too, blanks around). Returns mils, or nothing with why set to the
    // reason for anything else: no unit, an unknown unit, not a number, zero or negative.
    // unit, when given, is set to the unit the text names.
    static std::optional<double> parseLength(QStringView text, QString* why = nullptr,
                                             Unit* unit = nullptr);

    // Mils per pixel that make pixels pixels measure wantedMils; nothing when either is not
    // positive or the scale would not be a finite number.
    static std::optional<double> scaleFor(double wantedMils, int pixels);

    // A scale as the scale box should hold it: at most 15 significant digits, shortest form.
    static QString scaleText(double scale);
};

} // namespace kelviq
