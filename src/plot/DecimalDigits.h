#pragma once

#include <charconv>

namespace kelviq {

// Decimal text of a double with a given precision, byte for byte as printf's "%.*g" and
// "%.*f" write it in the C locale, and back. Where the C++ library has floating-point
// std::to_chars and std::from_chars (to_chars is defined to give exactly printf's text) they
// are used, being several times faster; elsewhere (WebAssembly's library) snprintf and strtod
// are. Both are compiled where possible, so a test can show that they agree. out must have
// room for the text; v must be finite.
class DecimalDigits
{
public:
    // "%.*g": precision significant digits, trailing zeros left off, exponent form for
    // exponents below -4 or from precision on.
    static char* general(char* out, char* last, double v, int precision);
    // "%.*f": decimals digits after the point.
    static char* fixed(char* out, char* last, double v, int decimals);
    // v rounded to precision significant digits: the double nearest its "%.*g" text.
    static double rounded(double v, int precision);

    // The two ways of writing the same text; general() and fixed() pick one.
    static char* generalByPrintf(char* out, char* last, double v, int precision);
    static char* fixedByPrintf(char* out, char* last, double v, int decimals);
    static bool hasToChars();
    // Only where hasToChars(); elsewhere they fall back to printf.
    static char* generalByToChars(char* out, char* last, double v, int precision);
    static char* fixedByToChars(char* out, char* last, double v, int decimals);
    static double roundedByPrintf(double v, int precision);
    static double roundedByToChars(double v, int precision);

    // Reads digits with at most one period (no sign, no exponent) as std::from_chars with
    // chars_format::fixed does: the nearest double, result_out_of_range (value untouched) for
    // text too large to hold or a non-zero value too small to hold.
    static std::from_chars_result fixedValue(const char* first, const char* last, double& value);
    static std::from_chars_result fixedValueByStrtod(const char* first, const char* last,
                                                     double& value);
    // Only where hasToChars(); elsewhere by strtod.
    static std::from_chars_result fixedValueByFromChars(const char* first, const char* last,
                                                        double& value);
};

} // namespace kelviq
