#include "plot/NumberText.h"

#include "plot/DecimalDigits.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace kelviq {

namespace {

constexpr char DigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Decimal digits of n, written two at a time from the end.
char* writeWhole(char* out, std::uint64_t n)
{
    int count = 1;
    for (std::uint64_t power = 10; count < 20 && n >= power; power *= 10)
        ++count;
    char* const end = out + count;
    char* p = end;
    while (n >= 100) {
        const std::uint64_t pair = n % 100;
        n /= 100;
        p -= 2;
        std::memcpy(p, DigitPairs + 2 * pair, 2);
    }
    if (n >= 10)
        std::memcpy(p - 2, DigitPairs + 2 * n, 2);
    else
        p[-1] = static_cast<char>('0' + n);
    return end;
}

// Rewrites "[-]d[.ddd]e-XX" in [out, end) as "[-]0.000ddd"; other text stays as it is.
char* expandSmallExponent(char* out, char* end)
{
    char* const e = std::find(out, end, 'e');
    if (e == end || e + 1 == end || e[1] != '-')
        return end;
    int exponent = 0;
    std::from_chars(e + 2, end, exponent);
    char digits[24]; // at most 15 of them
    int count = 0;
    char* p = out;
    const bool negative = *p == '-';
    if (negative)
        ++p;
    for (; p != e; ++p)
        if (*p != '.')
            digits[count++] = *p;
    p = out;
    if (negative)
        *p++ = '-';
    *p++ = '0';
    *p++ = '.';
    p = std::fill_n(p, exponent - 1, '0');
    return std::copy_n(digits, count, p);
}

// The text between blanks as an ASCII number without its sign, or nothing when it is not
// written like a number.
std::optional<std::string> numberDigits(std::string_view text, bool& negative)
{
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;

    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(end - begin));
    negative = false;
    if (begin < end && (text[begin] == '+' || text[begin] == '-')) {
        negative = text[begin] == '-';
        ++begin;
    }
    int digits = 0;
    int points = 0;
    for (std::size_t i = begin; i < end; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++points;
        else
            return std::nullopt;
        ascii.push_back(c);
    }
    if (digits == 0 || points > 1)
        return std::nullopt;
    return ascii;
}

} // namespace

char* formatNumber(char* out, double v)
{
    if (v == 0.0) { // also -0.0
        *out = '0';
        return out + 1;
    }
    // Whole values below 10^15 have at most 15 digits, so the integer text is already the
    // 15-digit shortest form. Plot coordinates nearly always are such values, and this path
    // is many times faster than the general one.
    if (v > -1e15 && v < 1e15) {
        const auto whole = static_cast<std::int64_t>(v);
        if (static_cast<double>(whole) == v) {
            if (whole < 0) {
                *out++ = '-';
                return writeWhole(out, static_cast<std::uint64_t>(-whole));
            }
            return writeWhole(out, static_cast<std::uint64_t>(whole));
        }
    }
    char* const end = DecimalDigits::general(out, out + MaxNumberTextLength, v, 15);
    // Small fractions come out as "5e-05", which not every plot reader takes: below 10^15
    // the digits are written out in full.
    if (v > -1e-4 && v < 1e-4)
        return expandSmallExponent(out, end);
    return end;
}

std::string numberText(double v)
{
    char buffer[MaxNumberTextLength];
    return std::string(buffer, formatNumber(buffer, v));
}

bool isPlainNumber(double v)
{
    if (!std::isfinite(v))
        return false;
    char buffer[MaxNumberTextLength];
    char* const end = formatNumber(buffer, v);
    return std::find(buffer, end, 'e') == end;
}

std::string roughNumberText(double v)
{
    if (!std::isfinite(v))
        return "more than 1e+308";
    if (std::abs(v) >= 1.0 && std::abs(v) < 1e15)
        return numberText(std::round(v));
    return numberText(DecimalDigits::rounded(v, 6));
}

bool isNumberText(std::string_view text)
{
    bool negative = false;
    return numberDigits(text, negative).has_value();
}

std::optional<double> parseNumber(std::string_view text)
{
    bool negative = false;
    const std::optional<std::string> digits = numberDigits(text, negative);
    if (!digits)
        return std::nullopt;
    const std::string& ascii = *digits;

    double value = 0.0;
    const auto [ptr, ec] =
        DecimalDigits::fixedValue(ascii.data(), ascii.data() + ascii.size(), value);
    if (ptr != ascii.data() + ascii.size())
        return std::nullopt;
    if (ec == std::errc::result_out_of_range) {
        // Too small to hold reads as zero; too large is refused. A value is too large exactly
        // when it has a non-zero digit before the point.
        const auto point = ascii.find('.');
        const std::string whole = ascii.substr(0, point);
        if (whole.find_first_not_of('0') != std::string::npos)
            return std::nullopt;
        value = 0.0;
    } else if (ec != std::errc()) {
        return std::nullopt;
    }
    if (!std::isfinite(value))
        return std::nullopt;
    return negative ? -value : value;
}

} // namespace kelviq
