#pragma once

#include <QStringView>
#include <optional>
#include <string>

namespace kelviq {

// Longest text formatNumber() writes, e.g. "-1.23456789012345e-308".
inline constexpr int MaxNumberTextLength = 32;

// Writes v as the plot file wants it: at most 15 significant digits, shortest form, whole
// values without a point, "-" only for negatives, never "-0". Returns the end of the text.
// v must be finite. Locale-independent.
char* formatNumber(char* out, double v);
std::string numberText(double v);

// Reads a setting typed by the user: blanks around, an optional sign, digits with an optional
// period. Returns nothing for anything else (letters, commas, exponents, empty text) and for
// numbers too large to hold.
std::optional<double> parseNumber(QStringView text);

} // namespace kelviq
