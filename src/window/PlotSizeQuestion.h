#pragma once

#include "platform/PlatformServices.h"

#include <QSize>
#include <optional>

namespace kelviq {

// "Set Plot Size…": asks for the plot's width or height and turns the answer into the scale
// that gives the plot exactly that size.
class PlotSizeQuestion
{
public:
    // The scale box's new text, or nothing when the user cancels.
    static std::optional<QString> ask(PlatformServices& platform, QSize picture,
                                      std::optional<double> currentScale);

    // The dialog's question for this picture, starting from the plot's current width in mm.
    static PlotSizeRequest request(QSize picture, std::optional<double> currentScale);
    // Mils per pixel for an answer, or nothing with why set.
    static std::optional<double> scaleFor(QSize picture, PlotSide side, const QString& length,
                                          QString* why = nullptr);
};

} // namespace kelviq
