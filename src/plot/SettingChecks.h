#pragma once

#include "plot/PlotFormat.h"
#include "plot/PlotLength.h"
#include "plot/PlotStyle.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kelviq::settingcheck {

// A setting as the user typed it, and as a message quotes it: the window and the converter
// show control characters escaped, the web page as typed.
struct Setting
{
    std::string_view typed;
    std::string_view shown;
};

// The checks of one conversion, in the words the window, the converter and the web page all
// use. Messages put '\r' between their sentences, where a message box breaks its lines; a
// one-line reader shows a space. An empty message means the settings can be used.

// A thickness in plot units (hundredths of a mil), or nothing when it is not a number that
// can be held.
std::optional<double> lineWidth(std::string_view thickness);
bool widthFits(PlotFormat format, double plotUnits);

// A scale or thickness that is not a number.
std::string unreadableProblem(Setting scale, Setting thickness);
// A format that cannot hold the shape ("IPF files hold lines only ...").
std::string shapeProblem(PlotFormat format, PlotShape shape);
// A scale of 0 or less, a negative thickness or one the format cannot write, whatever the
// picture. Outlines have no thickness: only their scale counts.
std::string rangeProblem(Setting scale, Setting thickness, PlotFormat format, PlotShape shape);
// Why a picture of columns × rows pixels at this scale, in this style, cannot be written in the
// format ("too large for a Gerber file: ..."); empty when it can.
std::string limitProblem(PlotFormat format, int columns, int rows, double scale,
                         const PlotStyle& style);
// The same told of the scale setting, with the largest scale that fits this picture.
std::string scaleProblem(Setting scale, PlotFormat format, int columns, int rows,
                         const PlotStyle& style);
// The scale that makes the plot as wide (byWidth) or as high as wantedMils - the length setting,
// in unit, shown as length - put in scale as the run reads it back from its text; or why it
// cannot, with the largest length that fits offered. picture is the picture's name as a message
// shows it.
std::string sizeProblem(std::string_view length, plotlength::Unit unit, double wantedMils,
                        bool byWidth, std::string_view picture, PlotFormat format, int columns,
                        int rows, const PlotStyle& style, std::string& scale);
// The largest scale that fits, as text of at most six significant digits.
std::string largestScaleText(PlotFormat format, int columns, int rows, const PlotStyle& style);
// The value of at most six significant digits nearest to limit on the side where fits() holds
// (at or below it when down), as text that can be typed back: what a message offers.
std::string typeableWithin(double limit, bool down, const std::function<bool(double)>& fits);

} // namespace kelviq::settingcheck
