#pragma once

#include "trace/PixelRows.h"
#include "trace/Raster.h"
#include "trace/RunFinder.h"
#include "trace/TraceSettings.h"

namespace kelviq {

// A colour picture held a byte a pixel for tracing: what the tracer makes of a pixel depends
// on its colour alone, so each pixel is kept as its class - exactly the traced colour, another
// selected colour, a colour not selected - and each class shows the first colour seen in it.
// Traced with the same settings, such a picture gives exactly the runs of the full colours.
class ColorClasses
{
public:
    explicit ColorClasses(const TraceSettings& settings);

    unsigned char classOf(ColorValue color)
    {
        if (color == m_lastColor)
            return m_lastClass;
        m_lastColor = color;
        m_lastClass = color == m_settings.target ? 0 : m_finder.selects(color) ? 1 : 2;
        if (!m_seen[m_lastClass]) {
            m_seen[m_lastClass] = true;
            m_palette[m_lastClass] = color;
        }
        return m_lastClass;
    }

    // The colour each class shows; entries beyond the classes repeat one of them.
    PixelRows::Palette palette() const;

private:
    TraceSettings m_settings;
    Raster m_noPicture; // the finder looks at no palette
    RunFinder m_finder;
    PixelRows::Palette m_palette{};
    bool m_seen[3] = {true, false, false};
    ColorValue m_lastColor = NoColor;
    unsigned char m_lastClass = 0;
};

} // namespace kelviq
