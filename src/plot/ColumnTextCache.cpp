#include "plot/ColumnTextCache.h"

#include <cstring>

namespace kelviq {

namespace {
// A table beyond this many columns would cost more memory than the formatting it saves.
constexpr int MostCachedColumns = 1 << 20;
} // namespace

void ColumnTextCache::reset(int columns, Format format)
{
    m_format = std::move(format);
    m_slots.assign(
        columns > 0 && columns <= MostCachedColumns ? static_cast<std::size_t>(columns) * Slot : 0,
        Uncached);
}

char* ColumnTextCache::fill(char* out, int column)
{
    char* const end = m_format(out, column);
    const auto index = static_cast<std::size_t>(column) * Slot;
    if (index < m_slots.size() && m_slots[index] == Uncached) {
        const auto length = static_cast<std::size_t>(end - out);
        char* slot = m_slots.data() + index;
        if (length < Slot) {
            *slot = static_cast<char>(length);
            std::memcpy(slot + 1, out, length);
        } else {
            *slot = TooLong;
        }
    }
    return end;
}

} // namespace kelviq
