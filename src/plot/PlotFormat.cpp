#include "plot/PlotFormat.h"

#include "plot/AsciiCase.h"
#include "plot/GerberWriter.h"
#include "plot/IpfWriter.h"
#include "plot/KicadWriter.h"
#include "plot/PlotGeometry.h"
#include "plot/SvgWriter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

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
    {PlotFormat::Ipf, "ipf", "IPF", "Plot Files", ".plt", writer<IpfWriter>, false,
     IpfWriter::limitProblem, IpfWriter::widthProblem},
    {PlotFormat::Gerber, "gerber", "Gerber", "Gerber Files", ".gbr .gto .gbo", writer<GerberWriter>,
     true, GerberWriter::limitProblem, GerberWriter::widthProblem},
    {PlotFormat::Kicad, "kicad", "KiCad Footprint", "KiCad Footprints", ".kicad_mod", kicadWriter,
     true, KicadWriter::limitProblem, KicadWriter::widthProblem},
    {PlotFormat::Svg, "svg", "SVG", "SVG Files", ".svg", writer<SvgWriter>, true,
     SvgWriter::limitProblem, SvgWriter::widthProblem},
}};

// The bits of a double and back (memcpy, not std::bit_cast: emscripten's C++ library lacks it).
std::uint64_t bitsOf(double v)
{
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return bits;
}

double doubleOf(std::uint64_t bits)
{
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// The last value in [low, high] for which fits() holds, given that it holds at low and not at
// high and changes only once between them. Positive doubles are ordered as their bit patterns,
// so halving the patterns finds the exact last one in at most 64 steps.
template <typename Fits> double lastFitting(double low, double high, Fits fits)
{
    std::uint64_t good = bitsOf(low);
    std::uint64_t bad = bitsOf(high);
    while (bad - good > 1) {
        const std::uint64_t middle = good + (bad - good) / 2;
        if (fits(doubleOf(middle)))
            good = middle;
        else
            bad = middle;
    }
    return doubleOf(good);
}

bool widthFits(PlotFormat format, double plotUnits)
{
    return info(format).widthProblem(plotUnits).empty();
}

// Every format writes the usual 10-mil line.
constexpr double UsualWidth = 1000.0;

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
        if (equalIgnoringAsciiCase(text, row.name))
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
            if (equalIgnoringAsciiCase(suffix, known))
                return row.format;
        }
    }
    return Formats.front().format;
}

double largestScale(PlotFormat format, int columns, int rows, const PlotStyle& style)
{
    const auto fits = [&](double scale) {
        return info(format)
            .limitProblem(PlotGeometry(columns, rows, scale, style.side, style.shape))
            .empty();
    };
    const double most = std::numeric_limits<double>::max();
    if (fits(most))
        return std::numeric_limits<double>::infinity();
    return lastFitting(0.0, most, fits);
}

double thinnestWidth(PlotFormat format)
{
    if (widthFits(format, 0.0))
        return 0.0;
    // The first that fits is the one after the last that does not.
    const double lastThin =
        lastFitting(0.0, UsualWidth, [format](double w) { return !widthFits(format, w); });
    return std::nextafter(lastThin, UsualWidth);
}

double thickestWidth(PlotFormat format)
{
    const double most = std::numeric_limits<double>::max();
    if (widthFits(format, most))
        return most;
    return lastFitting(UsualWidth, most, [format](double w) { return widthFits(format, w); });
}

std::unique_ptr<SegmentWriter> createWriter(PlotFormat format, ByteSink& sink,
                                            const std::string& designName)
{
    return info(format).createWriter(sink, designName);
}

} // namespace kelviq::plotformat
