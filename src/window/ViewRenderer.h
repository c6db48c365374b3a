#pragma once

#include "trace/ColorValue.h"
#include "trace/Raster.h"

#include <QImage>
#include <QPoint>
#include <QSize>

namespace kelviq {

enum class ViewMode
{
    Picture,
    TracedPixels,
    Plot
};

// What one view of the picture area shows, and where.
struct ViewState
{
    ViewMode mode = ViewMode::Picture;
    // Shown pixels per picture pixel.
    double zoom = 1.0;
    // The visible part: its top-left corner in shown pixels, and its size.
    QPoint offset;
    QSize size;
    qreal devicePixelRatio = 1.0;
    // The pointer's position arrives rounded to whole window pixels (X11 with a scale factor),
    // so a device pixel shows the picture pixel that a click on it picks; that depends on where
    // in the window the visible part lies (in window pixels).
    bool pointerRounded = false;
    QPoint windowPosition;
    QRgb background = qRgb(255, 255, 255);
    QRgb highlight = qRgb(255, 0, 255);
    // The plot's look; a scale that is not a positive number shows an empty plot.
    double pixelMils = 0.0;
    double thicknessMils = 0.0;
};

// Draws the visible part of a view, one device pixel at a time, so the cost follows the
// window's size and never the picture's. Enlarged pixels stay sharp squares.
class ViewRenderer
{
public:
    // mask: the traced pixels as a 1-bit raster, black (bit set) where traced (may be null).
    static QImage render(const Raster& picture, const Raster& mask, const ViewState& state);

    // A colour halfway toward white.
    static QRgb washedOut(QRgb color);
    // A strong colour that stands out from the picked colour and from washed-out pixels.
    static QRgb highlightFor(ColorValue picked);

    // Picture pixel under a shown position (floor), for any zoom.
    static int picturePosition(double shown, double zoom);

private:
    static void renderPixels(const Raster& picture, const Raster& mask, const ViewState& state,
                             QImage& image);
    static void renderPlot(const Raster& picture, const Raster& mask, const ViewState& state,
                           QImage& image);
    // half: half the line thickness, in picture pixels (enlarged) or device pixels (reduced).
    static void renderEnlargedPlot(const Raster& mask, const ViewState& state, double half,
                                   QImage& image);
    static void renderReducedPlot(const Raster& mask, const ViewState& state, double half,
                                  QImage& image);
};

} // namespace kelviq
