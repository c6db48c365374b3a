#include "trace/Raster.h"

#include <cstring>

namespace kelviq {

Raster::Raster(std::shared_ptr<const PixelRows> rows)
{
    if (rows && rows->layout() != Layout::Empty)
        m_rows = std::move(rows);
}

ColorValue Raster::point(int x, int y) const
{
    if (!m_rows || x < 0 || y < 0 || x >= m_rows->width() || y >= m_rows->height())
        return NoColor;
    const unsigned char* line = m_rows->row(y);
    const PixelRows::Palette& palette = m_rows->palette();
    switch (m_rows->layout()) {
    case Layout::Bits:
        return palette[(line[x >> 3] >> (7 - (x & 7))) & 1];
    case Layout::Indexed:
        return palette[line[x]];
    case Layout::Rgb: {
        RgbWord word;
        std::memcpy(&word, line + 4 * static_cast<std::size_t>(x), sizeof word);
        return colorValueFromWord(word);
    }
    case Layout::Empty:
        break;
    }
    return NoColor;
}

} // namespace kelviq
