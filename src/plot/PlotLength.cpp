#include "plot/PlotLength.h"

#include "plot/AsciiCase.h"
#include "plot/NumberText.h"

#include <cmath>

namespace kelviq::plotlength {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Letters of any script end a unit name: every byte of a character beyond ASCII counts, so
// "25 µm" names the unit "µm".
bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
           static_cast<unsigned char>(c) >= 0x80;
}

std::string quoted(std::string_view text)
{
    return '"' + std::string(text) + '"';
}

} // namespace

double toMils(double value, Unit unit)
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

std::string_view unitName(Unit unit)
{
    switch (unit) {
    case Unit::Millimetre:
        return "mm";
    case Unit::Inch:
        return "in";
    case Unit::Mil:
        break;
    }
    return "mil";
}

std::optional<double> parse(std::string_view text, std::string* why, Unit* unitGiven)
{
    const std::string length = "the length " + quoted(text);
    const auto refuse = [&](const std::string& reason) -> std::optional<double> {
        if (why)
            *why = length + reason;
        return std::nullopt;
    };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    std::size_t split = end;
    while (split > begin && isLetter(text[split - 1]))
        --split;
    std::string unit(text.substr(split, end - split));
    for (char& c : unit)
        c = asciiLower(c);
    if (unit.empty())
        return refuse(" has no unit: add mm, mil or in");
    Unit parsed = Unit::Mil;
    if (unit == "mm")
        parsed = Unit::Millimetre;
    else if (unit == "in" || unit == "inch" || unit == "inches")
        parsed = Unit::Inch;
    else if (unit != "mil" && unit != "mils")
        return refuse(" has an unknown unit " + quoted(unit) + ": use mm, mil or in");
    const std::string_view digits = text.substr(begin, split - begin);
    const std::optional<double> value = parseNumber(digits);
    // Written like a number but beyond what a number holds, either way.
    if ((!value && isNumberText(digits)) || (value && !std::isfinite(toMils(*value, parsed))))
        return refuse(" is too large");
    if (!value)
        return refuse(" is not a number followed by mm, mil or in");
    if (unitGiven)
        *unitGiven = parsed;
    const double mils = toMils(*value, parsed);
    const bool nonzero = digits.find_first_of("123456789") != std::string_view::npos;
    if (!(mils > 0.0) && *value >= 0.0 && nonzero)
        return refuse(" is too small: closer to zero than a number holds");
    if (!(mils > 0.0))
        return refuse(" must be more than zero");
    return mils;
}

std::optional<double> scaleFor(double wantedMils, int pixels)
{
    if (pixels <= 0 || !(wantedMils > 0.0))
        return std::nullopt;
    const double scale = wantedMils / pixels;
    if (!std::isfinite(scale) || scale <= 0.0)
        return std::nullopt;
    return scale;
}

} // namespace kelviq::plotlength
