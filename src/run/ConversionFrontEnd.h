#pragma once

#include "output/FileIdentity.h"
#include "output/PlotOutput.h"
#include "trace/ColorValue.h"
#include "trace/Raster.h"
#include "trace/TraceSettings.h"

#include <QString>

namespace kelviq {

// What a conversion run reads from and shows in the program around it: the window, the
// headless converter or a test's fake.
class ConversionFrontEnd
{
public:
    virtual ~ConversionFrontEnd() = default;

    // The chosen picture file; empty while none has been chosen.
    virtual QString fileName() const = 0;
    // The picture as loaded, taken once at the start of a run.
    virtual Raster picture() const = 0;
    // Which file the picture is, so that the plot never replaces it under any name.
    virtual FileIdentity pictureIdentity() const { return identityOfPath(fileName()); }
    // The swatch colour (Shape1).
    virtual ColorValue targetColor() const = 0;
    // Which pixels are traced: the target colour, and any tolerance, inversion or speck removal.
    virtual TraceSettings traceSettings() const
    {
        TraceSettings settings;
        settings.target = targetColor();
        return settings;
    }
    // Mils per pixel (Text1).
    virtual QString scaleText() const = 0;
    // Line thickness in mils (Text2); may change while a run is going on.
    virtual QString thicknessText() const = 0;

    // The make button (Command1) and the two busy pictures (Image1(0), Image1(1)).
    virtual void setMakeButtonVisible(bool visible) = 0;
    virtual void setBusyPictureVisible(int index, bool visible) = 0;

    // Called after each row is written, for progress displays.
    virtual void rowDone(int /*row*/, int /*rows*/) {}
};

} // namespace kelviq
