#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string>

namespace kelviq {

class ByteSink;
class SegmentWriter;

// The file formats the traced segments can be written in.
enum class PlotFormat
{
    Ipf,    // Allegro IPF plot file
    Gerber, // RS-274X
    Kicad,  // KiCad footprint
    Svg
};

namespace plotformat {

// "ipf", "gerber", "kicad", "svg".
QString name(PlotFormat format);
std::optional<PlotFormat> fromName(const QString& name);
// The format a file name asks for by its extension; IPF for anything unknown.
PlotFormat fromFileName(const QString& fileName);
// The usual extension, with its dot (".plt", ".gbr", ".kicad_mod", ".svg").
QString extension(PlotFormat format);

// A writer of the format into sink. designName (UTF-8) names the design inside the file where
// the format has such a name (the KiCad footprint).
std::unique_ptr<SegmentWriter> createWriter(PlotFormat format, ByteSink& sink,
                                            const std::string& designName);

} // namespace plotformat

} // namespace kelviq
