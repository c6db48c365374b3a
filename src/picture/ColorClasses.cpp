#include "picture/ColorClasses.h"

namespace kelviq {

ColorClasses::ColorClasses(const TraceSettings& settings)
    : m_settings(settings), m_finder(m_noPicture, settings)
{
    m_palette[0] = settings.target;
}

PixelRows::Palette ColorClasses::palette() const
{
    PixelRows::Palette palette = m_palette;
    // Entries no pixel uses take a colour of a class, so that they are selected as it is.
    const ColorValue spare = m_seen[2] ? m_palette[2] : m_seen[1] ? m_palette[1] : m_palette[0];
    for (std::size_t i = 1; i < palette.size(); ++i)
        if (i > 2 || !m_seen[i])
            palette[i] = spare;
    return palette;
}

} // namespace kelviq
