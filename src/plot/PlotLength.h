#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelviq::plotlength {

// Lengths on the board as a user types them: "25mm", "800 mil", "1in".
enum class Unit
{
    Millimetre,
    Mil,
    Inch
};

inline constexpr double MilsPerInch = 1000.0;
inline constexpr double MillimetresPerMil = 0.0254;

double toMils(double value, Unit unit);
// "mm", "mil" or "in".
std::string_view unitName(Unit unit);

// Reads a length (UTF-8; unit names in any case, "mils", "inch" and "inches" too, blanks
// around). Returns mils, or nothing with why set to the reason for anything else: no unit, an
// unknown unit, not a number, too large or too small to hold, zero or negative. unit, when
// given, is set to the unit the text names.
std::optional<double> parse(std::string_view text, std::string* why = nullptr,
                            Unit* unit = nullptr);

// Mils per pixel that make pixels pixels measure wantedMils; nothing when either is not
// positive or the scale would not be a finite number.
std::optional<double> scaleFor(double wantedMils, int pixels);

} // namespace kelviq::plotlength
