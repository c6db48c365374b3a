#pragma once

#include <algorithm>
#include <string_view>

namespace kelviq {

// Names typed by users (formats, extensions, styles, units) are told apart in any case of
// their ASCII letters, whatever the locale.
inline char asciiLower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool equalIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    // std::equal, not std::ranges::equal: emscripten's C++ library has no ranges algorithms.
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return asciiLower(x) == asciiLower(y);
           });
}

} // namespace kelviq
