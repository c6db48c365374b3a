#include "plot/DecimalDigits.h"

#include <algorithm>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>
#include <version>

#if defined(__cpp_lib_to_chars)
#define KELVIQ_FLOAT_TO_CHARS 1
#endif

namespace kelviq {

namespace {

// printf follows the C locale's decimal point; a program that set another locale for
// numbers (LC_NUMERIC) would get a comma, so the point is put back. WebAssembly's library
// only has the C locale.
char* printfText(char* out, char* last, const char* format, double v, int precision)
{
    const int room = static_cast<int>(last - out);
    int length = std::snprintf(out, static_cast<std::size_t>(room), format, precision, v);
    if (length < 0)
        return out;
    if (length >= room)
        length = room - 1;
    const std::lconv* numeric = std::localeconv();
    const char point = numeric && numeric->decimal_point && numeric->decimal_point[0]
                           ? numeric->decimal_point[0]
                           : '.';
    if (point != '.') {
        for (char* p = out; p != out + length; ++p)
            if (*p == point)
                *p = '.';
    }
    return out + length;
}

} // namespace

char* DecimalDigits::generalByPrintf(char* out, char* last, double v, int precision)
{
    return printfText(out, last, "%.*g", v, precision);
}

char* DecimalDigits::fixedByPrintf(char* out, char* last, double v, int decimals)
{
    return printfText(out, last, "%.*f", v, decimals);
}

bool DecimalDigits::hasToChars()
{
#if KELVIQ_FLOAT_TO_CHARS
    return true;
#else
    return false;
#endif
}

char* DecimalDigits::generalByToChars(char* out, char* last, double v, int precision)
{
#if KELVIQ_FLOAT_TO_CHARS
    return std::to_chars(out, last, v, std::chars_format::general, precision).ptr;
#else
    return generalByPrintf(out, last, v, precision);
#endif
}

char* DecimalDigits::fixedByToChars(char* out, char* last, double v, int decimals)
{
#if KELVIQ_FLOAT_TO_CHARS
    return std::to_chars(out, last, v, std::chars_format::fixed, decimals).ptr;
#else
    return fixedByPrintf(out, last, v, decimals);
#endif
}

double DecimalDigits::roundedByPrintf(double v, int precision)
{
    char text[400];
    *generalByPrintf(text, text + sizeof text, v, precision) = '\0';
    // strtod follows the locale's decimal point; printfText() put a period in its place.
    const std::lconv* numeric = std::localeconv();
    if (numeric && numeric->decimal_point && numeric->decimal_point[0] &&
        numeric->decimal_point[0] != '.')
        std::replace(text, text + std::strlen(text), '.', numeric->decimal_point[0]);
    return std::strtod(text, nullptr);
}

double DecimalDigits::roundedByToChars(double v, int precision)
{
#if KELVIQ_FLOAT_TO_CHARS
    char text[400];
    char* const end =
        std::to_chars(text, text + sizeof text, v, std::chars_format::general, precision).ptr;
    double value = v;
    std::from_chars(text, end, value, std::chars_format::general);
    return value;
#else
    return roundedByPrintf(v, precision);
#endif
}

double DecimalDigits::rounded(double v, int precision)
{
    return roundedByToChars(v, precision);
}

char* DecimalDigits::general(char* out, char* last, double v, int precision)
{
    return generalByToChars(out, last, v, precision);
}

char* DecimalDigits::fixed(char* out, char* last, double v, int decimals)
{
    return fixedByToChars(out, last, v, decimals);
}

std::from_chars_result DecimalDigits::fixedValueByStrtod(const char* first, const char* last,
                                                         double& value)
{
    // The digits and at most one period, as from_chars takes them: strtod would read more.
    const char* end = first;
    bool point = false;
    while (end != last && ((*end >= '0' && *end <= '9') || (*end == '.' && !point))) {
        point = point || *end == '.';
        ++end;
    }
    const bool noDigit = std::none_of(first, end, [](char c) { return c >= '0' && c <= '9'; });
    if (noDigit)
        return {first, std::errc::invalid_argument};
    // strtod follows the locale's decimal point; a period is put in its place.
    std::string text(first, end);
    const std::lconv* numeric = std::localeconv();
    if (numeric && numeric->decimal_point && numeric->decimal_point[0] &&
        numeric->decimal_point[0] != '.')
        std::replace(text.begin(), text.end(), '.', numeric->decimal_point[0]);
    const double read = std::strtod(text.c_str(), nullptr);
    const bool nonZero = std::any_of(first, end, [](char c) { return c >= '1' && c <= '9'; });
    if (std::isinf(read) || (read == 0.0 && nonZero))
        return {end, std::errc::result_out_of_range};
    value = read;
    return {end, std::errc()};
}

std::from_chars_result DecimalDigits::fixedValueByFromChars(const char* first, const char* last,
                                                            double& value)
{
#if KELVIQ_FLOAT_TO_CHARS
    return std::from_chars(first, last, value, std::chars_format::fixed);
#else
    return fixedValueByStrtod(first, last, value);
#endif
}

std::from_chars_result DecimalDigits::fixedValue(const char* first, const char* last, double& value)
{
    return fixedValueByFromChars(first, last, value);
}

} // namespace kelviq
