#pragma once

namespace kelviq {

// Decimal text of a double with a given precision, byte for byte as printf's "%.*g" and
// "%.*f" write it in the C locale. Where the C++ library has floating-point std::to_chars
// (which is defined to give exactly that text) it is used, being several times faster;
// elsewhere (WebAssembly's library) snprintf is. Both are compiled where possible, so a test
// can show that they agree. out must have room for the text; v must be finite.
class DecimalDigits
{
public:
    // "%.*g": precision significant digits, trailing zeros left off, exponent form for
    // exponents below -4 or from precision on.
    static char* general(char* out, char* last, double v, int precision);
    // "%.*f": decimals digits after the point.
    static char* fixed(char* out, char* last, double v, int decimals);

    // The two ways of writing the same text; general() and fixed() pick one.
    static char* generalByPrintf(char* out, char* last, double v, int precision);
    static char* fixedByPrintf(char* out, char* last, double v, int decimals);
    static bool hasToChars();
    // Only where hasToChars(); elsewhere they fall back to printf.
    static char* generalByToChars(char* out, char* last, double v, int precision);
    static char* fixedByToChars(char* out, char* last, double v, int decimals);
};

} // namespace kelviq
