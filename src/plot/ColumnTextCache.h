#pragma once

#include <functional>
#include <vector>

namespace kelviq {

// The text of a number that depends only on its column (a plot's X), made once per column on
// first use and copied from then on: wide pictures with many short runs write the same few
// thousand numbers millions of times.
class ColumnTextCache
{
public:
    // Writes the text for a column at out and returns its end; at most MaxNumberTextLength
    // characters.
    using Format = std::function<char*(char* out, int column)>;

    void reset(int columns, Format format);

    // Writes the column's text; may write up to a slot's size past the text's end.
    char* write(char* out, int column)
    {
        const auto index = static_cast<std::size_t>(column) * Slot;
        if (index < m_slots.size() && m_slots[index] != Uncached && m_slots[index] != TooLong) {
            const char* slot = m_slots.data() + index;
            __builtin_memcpy(out, slot + 1, Slot - 1);
            return out + static_cast<unsigned char>(*slot);
        }
        return fill(out, column);
    }

private:
    static constexpr std::size_t Slot = 24;
    static constexpr char Uncached = 0;
    static constexpr char TooLong = static_cast<char>(0xff);

    char* fill(char* out, int column);

    Format m_format;
    std::vector<char> m_slots;
};

} // namespace kelviq
