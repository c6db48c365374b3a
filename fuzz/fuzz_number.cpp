// Fuzzes the reader of the scale and thickness texts: it must never crash, and every text it
// accepts must come back unchanged through the plot file's number form: parsing the written
// form of the value again gives the same value, and writing that gives the same text.
#include "plot/NumberText.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

using namespace kelviq;

namespace {

[[noreturn]] void fail(const char* what, std::string_view input, const std::string& text)
{
    std::fprintf(stderr, "%s: input \"%.*s\", written \"%s\"\n", what,
                 static_cast<int>(input.size()), input.data(), text.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The bytes as a text box hands them over (UTF-8), or anything else.
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::optional<double> value = parseNumber(input);
    if (!value)
        return 0;
    if (!std::isfinite(*value))
        fail("accepted a value that is not finite", input, {});
    const std::string text = numberText(*value);
    if (text.size() >= MaxNumberTextLength)
        fail("number text too long", input, text);
    // Very large and very small values are written with an exponent, which the settings
    // reader does not take; those are read back with the C library instead.
    std::optional<double> again;
    if (text.find('e') != std::string::npos)
        again = std::strtod(text.c_str(), nullptr);
    else
        again = parseNumber(text);
    if (!again)
        fail("written form not accepted", input, text);
    const std::string textAgain = numberText(*again);
    if (textAgain != text)
        fail("written form does not round-trip", input, text + "\" then \"" + textAgain);
    if (std::signbit(*again) != std::signbit(*value) && *value != 0.0)
        fail("sign lost", input, text);
    return 0;
}
