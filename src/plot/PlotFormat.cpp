#include "plot/PlotFormat.h"

#include "plot/GerberWriter.h"
#include "plot/IpfWriter.h"
#include "plot/KicadWriter.h"
#include "plot/SvgWriter.h"

#include <algorithm>
#include <array>

namespace kelviq::plotformat {

namespace {

template <typename Writer> std::unique_ptr<SegmentWriter> writer(ByteSink& sink, const std::string&)
{
    return std::make_unique<Writer>(sink);
}

std::unique_ptr<SegmentWriter> kicadWriter(ByteSink& sink, const std::string& designName)
{
    return std::make_unique<KicadWriter>(sink, designName);
}

const std::array<PlotFormatInfo, 4> Formats = {{
    {PlotFormat::Ipf, "ipf", "IPF", "Plot Files", ".plt", writer<IpfWriter>, true, nullptr},
    {PlotFormat::Gerber, "gerber", "Gerber", "Gerber Files", ".gbr .gto .gbo", writer<GerberWriter>,
     false, GerberWriter::limitProblem},
    {PlotFormat::Kicad, "kicad", "KiCad Footprint", "KiCad Footprints", ".kicad_mod", kicadWriter,
     false, nullptr},
    {PlotFormat::Svg, "svg", "SVG", "SVG Files", ".svg", writer<SvgWriter>, false, nullptr},
}};

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::span<const PlotFormatInfo> all()
{
    return Formats;
}

const PlotFormatInfo& info(PlotFormat format)
{
    for (const PlotFormatInfo& row : Formats) {
        if (row.format == format)
            return row;
    }
    return Formats.front();
}

std::string_view name(PlotFormat format)
{
    return info(format).name;
}

std::optional<PlotFormat> fromName(std::string_view text)
{
    for (const PlotFormatInfo& row : Formats) {
        if (sameIgnoringCase(text, row.name))
            return row.format;
    }
    return std::nullopt;
}

std::vector<std::string_view> extensions(PlotFormat format)
{
    std::vector<std::string_view> list;
    std::string_view rest = info(format).extensions;
    while (!rest.empty()) {
        const std::size_t blank = std::min(rest.find(' '), rest.size());
        list.push_back(rest.substr(0, blank));
        rest.remove_prefix(std::min(blank + 1, rest.size()));
    }
    return list;
}

std::string_view extension(PlotFormat format)
{
    return extensions(format).front();
}

PlotFormat fromFileName(std::string_view fileName)
{
    // The extension is what follows the last dot of the name's last part.
    const std::size_t slash = fileName.rfind('/');
    const std::string_view base =
        slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
    const std::size_t dot = base.rfind('.');
    if (dot == std::string_view::npos)
        return Formats.front().format;
    const std::string_view suffix = base.substr(dot);
    for (const PlotFormatInfo& row : Formats) {
        for (const std::string_view known : extensions(row.format)) {
            if (sameIgnoringCase(suffix, known))
                return row.format;
        }
    }
    return Formats.front().format;
}

std::unique_ptr<SegmentWriter> createWriter(PlotFormat format, ByteSink& sink,
                                            const std::string& designName)
{
    return info(format).createWriter(sink, designName);
}

} // namespace kelviq::plotformat
