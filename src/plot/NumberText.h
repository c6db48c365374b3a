#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kelviq {

// Longest text formatNumber() writes: the smallest double in plain digits, "-0." with 323
// zeros and 15 digits.
inline constexpr int MaxNumberTextLength = 344;

// Writes v as the plot file wants it: at most 15 significant digits, shortest form, whole
// values without a point, "-" only for negatives, never "-0". Below 10^15 always plain
// decimal digits (0.00005), from 10^15 on the exponent form (1e+15). Returns the end of the
// text. v must be finite. Locale-independent.
char* formatNumber(char* out, double v);
std::string numberText(double v);
// Whether formatNumber() writes v in plain digits: v is finite and, at 15 significant digits,
// below 10^15. The plot's numbers must be, for every reader to take them.
bool isPlainNumber(double v);
// v for a message: whole from 1 to 10^15, six significant digits otherwise; "more than
// 1e+308" when it is not finite.
std::string roughNumberText(double v);

// Reads a setting typed by the user, as UTF-8: blanks around, an optional sign, digits with an
// optional period. Returns nothing for anything else (letters, commas, exponents, any character
// beyond ASCII, empty text) and for numbers too large to hold.
std::optional<double> parseNumber(std::string_view text);
// Whether text is written like a number parseNumber() takes, whatever its size: tells a
// number too large to hold from one that is not a number at all.
bool isNumberText(std::string_view text);

} // namespace kelviq
