#include "plot/SettingChecks.h"

#include "plot/NumberText.h"
#include "plot/PlotGeometry.h"

#include <cmath>
#include <vector>

namespace kelviq::settingcheck {

namespace {

const char CR = '\r';
const char* const ScaleHint = "Type the size of one pixel in mils, for example 2 or 0.5.";
const char* const ThicknessHint = "Type the thickness in mils, for example 10 or 7.5.";

std::string quoted(std::string_view shown)
{
    return '"' + std::string(shown) + '"';
}

// A setting that is written like a number but cannot be held is too large, not "not a number".
std::string badNumber(const char* setting, Setting text, const char* hint)
{
    if (isNumberText(text.typed))
        return setting + quoted(text.shown) + " is too large.";
    return setting + quoted(text.shown) + " is not a number." + CR + hint;
}

} // namespace

std::optional<double> lineWidth(std::string_view thickness)
{
    const std::optional<double> mils = parseNumber(thickness);
    if (!mils || !std::isfinite(*mils * 100.0))
        return std::nullopt;
    return *mils * 100.0;
}

bool widthFits(PlotFormat format, double plotUnits)
{
    return plotUnits >= 0.0 && plotformat::info(format).widthProblem(plotUnits).empty();
}

std::string unreadableProblem(Setting scale, Setting thickness)
{
    if (!parseNumber(scale.typed))
        return badNumber("The scale ", scale, ScaleHint);
    if (!lineWidth(thickness.typed))
        return badNumber("The line thickness ", thickness, ThicknessHint);
    return {};
}

std::string shapeProblem(PlotFormat format, PlotShape shape)
{
    const PlotFormatInfo& info = plotformat::info(format);
    if (shape != PlotShape::Outline || info.filledShapes)
        return {};
    std::vector<std::string_view> holding;
    for (const PlotFormatInfo& other : plotformat::all())
        if (other.filledShapes)
            holding.push_back(other.title);
    std::string list;
    for (std::size_t i = 0; i < holding.size(); ++i)
        list.append(i == 0 ? "" : i + 1 == holding.size() ? " or " : ", ").append(holding[i]);
    return std::string(info.title) + " files hold lines only; filled outlines can be written as " +
           list + '.';
}

std::string rangeProblem(Setting scale, Setting thickness, PlotFormat format, PlotShape shape)
{
    if (!(parseNumber(scale.typed).value_or(0.0) > 0.0))
        return "The scale " + quoted(scale.shown) + " must be more than 0." + CR + ScaleHint;
    // Outlines have no thickness: it plays no part in them.
    if (shape == PlotShape::Outline)
        return {};
    const double width = lineWidth(thickness.typed).value_or(-1.0);
    if (width < 0.0)
        return "The line thickness " + quoted(thickness.shown) + " is negative." + CR +
               ThicknessHint;
    const std::string problem = plotformat::info(format).widthProblem(width);
    if (problem.empty())
        return {};
    const bool thin = width < 1000.0;
    const double bound =
        (thin ? plotformat::thinnestWidth(format) : plotformat::thickestWidth(format)) / 100;
    const std::string offer =
        thin && bound < 1e-9
            ? std::string("Type a thickness above 0 mils, for example 10 or 7.5.")
            : std::string(thin ? "The thinnest" : "The thickest") + " line that fits is " +
                  typeableWithin(
                      bound, !thin,
                      [format](double mils) { return widthFits(format, mils * 100.0); }) +
                  " mils.";
    return "The line thickness " + quoted(thickness.shown) + " is " + problem + '.' + CR + offer;
}

std::string limitProblem(PlotFormat format, int columns, int rows, double scale,
                         const PlotStyle& style)
{
    return plotformat::info(format).limitProblem(
        PlotGeometry(columns, rows, scale, style.side, style.shape));
}

std::string scaleProblem(Setting scale, PlotFormat format, int columns, int rows,
                         const PlotStyle& style)
{
    const std::string problem =
        limitProblem(format, columns, rows, parseNumber(scale.typed).value_or(0.0), style);
    if (problem.empty())
        return {};
    return "The scale " + quoted(scale.shown) + " is " + problem + '.' + CR +
           "The largest scale that fits this picture (" + std::to_string(columns) + " × " +
           std::to_string(rows) + " pixels) is " + largestScaleText(format, columns, rows, style) +
           '.';
}

std::string sizeProblem(std::string_view length, plotlength::Unit unit, double wantedMils,
                        bool byWidth, std::string_view picture, PlotFormat format, int columns,
                        int rows, const PlotStyle& style, std::string& scale)
{
    const int pixels = byWidth ? columns : rows;
    const std::string size = byWidth ? "width" : "height";
    const std::string subject = "The plot " + size + ' ' + quoted(length);
    // The scale as the run will read it back from its text; too large a one has no such text
    // and is told by its size.
    auto scaleFor = [pixels](double mils) -> std::optional<double> {
        const std::optional<double> fitting = plotlength::scaleFor(mils, pixels);
        if (!fitting)
            return std::nullopt;
        return parseNumber(numberText(*fitting)).value_or(*fitting);
    };
    const std::optional<double> typed = scaleFor(wantedMils);
    if (!typed || !(*typed > 0.0)) {
        return subject + " is too small for the picture " + std::string(picture) + " (" +
               std::to_string(pixels) + " pixels " + (byWidth ? "wide" : "high") +
               "): one pixel would measure 0 mils.";
    }
    const std::string problem = limitProblem(format, columns, rows, *typed, style);
    if (problem.empty()) {
        scale = numberText(*typed);
        return {};
    }
    const double largest = plotformat::largestScale(format, columns, rows, style) * pixels /
                           plotlength::toMils(1.0, unit);
    const std::string fitting = typeableWithin(largest, true, [&](double other) {
        const std::optional<double> s = scaleFor(plotlength::toMils(other, unit));
        return s && limitProblem(format, columns, rows, *s, style).empty();
    });
    return subject + " is " + problem + '.' + CR + "The largest " + size +
           " that fits this picture (" + std::to_string(columns) + " × " + std::to_string(rows) +
           " pixels) is " + fitting + std::string(plotlength::unitName(unit)) + '.';
}

std::string largestScaleText(PlotFormat format, int columns, int rows, const PlotStyle& style)
{
    return typeableWithin(
        plotformat::largestScale(format, columns, rows, style), true,
        [&](double scale) { return limitProblem(format, columns, rows, scale, style).empty(); });
}

std::string typeableWithin(double limit, bool down, const std::function<bool(double)>& fits)
{
    if (!(limit > 0.0) || !std::isfinite(limit))
        return numberText(limit);
    // log10 rounds up just below a power of ten; the digits must not.
    double exponent = std::floor(std::log10(limit));
    if (std::pow(10.0, exponent) > limit)
        exponent -= 1;
    const double step = std::pow(10.0, exponent - 5);
    double value = (down ? std::floor(limit / step) : std::ceil(limit / step)) * step;
    for (int tries = 0; tries < 20 && value > 0.0; ++tries, value += down ? -step : step) {
        const std::string text = numberText(value);
        if (const std::optional<double> typed = parseNumber(text); typed && fits(*typed))
            return text;
    }
    return numberText(limit);
}

} // namespace kelviq::settingcheck
