#include "plot/DecimalDigits.h"

#include <charconv>
#include <clocale>
#include <cstdio>
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

char* DecimalDigits::general(char* out, char* last, double v, int precision)
{
    return generalByToChars(out, last, v, precision);
}

char* DecimalDigits::fixed(char* out, char* last, double v, int decimals)
{
    return fixedByToChars(out, last, v, decimals);
}

} // namespace kelviq
