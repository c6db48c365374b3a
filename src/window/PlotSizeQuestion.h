#pragma once

#include "picture/PictureDensity.h"
#include "platform/PlatformServices.h"

#include <QSize>
#include <optional>

namespace kelviq {

// "Set Plot Size…": asks for the plot's width or height and turns the answer into the scale
// that gives the plot exactly that size, and, when asked to, the thickness that covers the
// rows of that scale exactly.
class PlotSizeQuestion
{
public:
    // What the picture and the settings are now.
    struct Now
    {
        QSize picture;
        std::optional<double> scale;
        std::optional<double> thickness;
        PictureDensity density;
    };
    // The boxes' new texts.
    struct Answer
    {
        QString scale;
        std::optional<QString> thickness; // only when "Set Lines Thick to match"
    };

    // Nothing when the user cancels.
    static std::optional<Answer> ask(PlatformServices& platform, const Now& now);

    // The dialog's question, starting from the plot's current width in mm.
    static PlotSizeRequest request(const Now& now);
    // Mils per pixel for an answer, or nothing with why set.
    static std::optional<double> scaleFor(QSize picture, PlotSide side, const QString& length,
                                          QString* why = nullptr);
};

} // namespace kelviq
