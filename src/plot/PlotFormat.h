#pragma once

#include "plot/PlotStyle.h"

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kelviq {

class ByteSink;
class PlotGeometry;
class SegmentWriter;

// The file formats the traced segments can be written in.
enum class PlotFormat
{
    Ipf,    // Allegro IPF plot file
    Gerber, // RS-274X
    Kicad,  // KiCad footprint
    Svg
};

// One row of the format table: all the program knows of a format. A new format is a new row.
struct PlotFormatInfo
{
    PlotFormat format;
    std::string_view name;       // as the converter's --format takes it: "gerber"
    std::string_view title;      // as menus show it: "Gerber"
    std::string_view filesTitle; // a file dialog's filter: "Gerber Files"
    std::string_view extensions; // with their dots, the usual one first: ".gbr .gto .gbo"
    // A writer into sink. designName (UTF-8) names the design inside the file where the format
    // has such a name (the KiCad footprint).
    std::unique_ptr<SegmentWriter> (*createWriter)(ByteSink& sink, const std::string& designName);
    // Whether the format holds filled shapes, so that outline plots can be written in it.
    bool filledShapes;
    // Why a plot of this geometry cannot be written in the format ("too large for ...: the plot
    // would reach ..."), or empty: every number the writer writes must be one the format holds.
    std::string (*limitProblem)(const PlotGeometry& geometry);
    // Why lines of this width (plot units, 0 or more) cannot be written in the format ("too
    // thin for ...: ..."), or empty.
    std::string (*widthProblem)(double plotUnits);
};

namespace plotformat {

// Every format, the one a file name without a known extension gets first.
std::span<const PlotFormatInfo> all();
const PlotFormatInfo& info(PlotFormat format);

// "ipf", "gerber", "kicad", "svg".
std::string_view name(PlotFormat format);
// The format of a name in any case of its ASCII letters.
std::optional<PlotFormat> fromName(std::string_view name);
// The format a file name (UTF-8, a path too) asks for by its extension; the first format's
// for anything unknown.
PlotFormat fromFileName(std::string_view fileName);
// The usual extension, with its dot (".plt", ".gbr", ".kicad_mod", ".svg").
std::string_view extension(PlotFormat format);
// All of a format's extensions, the usual one first.
std::vector<std::string_view> extensions(PlotFormat format);

// The largest scale (mils per pixel) at which the plot of a picture of columns × rows pixels,
// drawn in this style, stays within the format's limit; infinity when every scale does.
double largestScale(PlotFormat format, int columns, int rows, const PlotStyle& style = {});
// The thinnest and the thickest line width (plot units) the format can write.
double thinnestWidth(PlotFormat format);
double thickestWidth(PlotFormat format);

// A writer of the format into sink; see PlotFormatInfo::createWriter.
std::unique_ptr<SegmentWriter> createWriter(PlotFormat format, ByteSink& sink,
                                            const std::string& designName);

} // namespace plotformat

} // namespace kelviq
