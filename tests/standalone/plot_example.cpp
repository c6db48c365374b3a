// The worked example - black at (0,0), (1,0) and (2,1) of a 3 × 2 picture, scale 2, thickness
// 10 - traced from pixels held as 32-bit words and as bits, and written in every format of
// the table: each file must be exactly what the README shows.
#include "plot/IpfWriter.h"
#include "plot/MemorySink.h"
#include "plot/PlotFormat.h"
#include "plot/PlotGeometry.h"
#include "plot/SegmentWriter.h"
#include "trace/PixelRows.h"
#include "trace/Raster.h"
#include "trace/Tracer.h"

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace kelviq;

namespace {

class MemoryRows : public PixelRows
{
public:
    MemoryRows(int width, Layout layout, const Palette& palette,
               std::vector<std::vector<unsigned char>> rows)
        : PixelRows(width, static_cast<int>(rows.size()), layout, palette), m_rows(std::move(rows))
    {
    }
    const unsigned char* row(int y) const override
    {
        return m_rows[static_cast<std::size_t>(y)].data();
    }

private:
    std::vector<std::vector<unsigned char>> m_rows;
};

std::vector<unsigned char> words(std::initializer_list<RgbWord> pixels)
{
    std::vector<unsigned char> row;
    for (const RgbWord word : pixels)
        for (int shift = 0; shift < 32; shift += 8) // little-endian, as a picture holds them
            row.push_back(static_cast<unsigned char>(word >> shift));
    return row;
}

std::string written(const Raster& picture, PlotFormat format)
{
    MemorySink sink;
    const std::unique_ptr<SegmentWriter> writer = plotformat::createWriter(format, sink, "example");
    const PlotGeometry geometry(picture.width(), picture.height(), 2.0);
    writer->setLineWidth(1000.0);
    writer->begin(geometry);
    Tracer tracer(picture, TraceSettings{});
    std::vector<Run> runs;
    int y = 0;
    while (tracer.nextRow(y, runs))
        writer->writeRow(y, runs);
    writer->end();
    return writer->flush() ? sink.bytes : std::string();
}

} // namespace

int main()
{
    constexpr RgbWord Black = 0xff000000u;
    constexpr RgbWord White = 0xffffffffu;
    PixelRows::Palette blackOnWhite{};
    blackOnWhite[0] = colorValue(255, 255, 255);
    const std::map<std::string, Raster> pictures = {
        {"32-bit", Raster(std::make_shared<MemoryRows>(
                       3, PixelRows::Layout::Rgb, PixelRows::Palette{},
                       std::vector{words({Black, Black, White}), words({White, White, Black})}))},
        {"1-bit", Raster(std::make_shared<MemoryRows>(
                      3, PixelRows::Layout::Bits, blackOnWhite,
                      std::vector<std::vector<unsigned char>>{{0b11000000}, {0b00100000}}))},
    };
    const std::map<PlotFormat, std::string> expected = {
        {PlotFormat::Ipf, IpfWriter::headerText() +
                              "259\r\n1000 2\r\n0 200 400 200\r\n259\r\n1000 2\r\n400 0 400 0\r\n"},
        {PlotFormat::Gerber, "G04 Traced by KELVIQ*\n%FSLAX36Y36*%\n%MOIN*%\n%LPD*%\nG01*\n"
                             "%ADD10C,0.01*%\nD10*\nX0Y2000D02*\nX4000Y2000D01*\nX4000Y0D03*\n"
                             "M02*\n"},
        {PlotFormat::Kicad,
         "(footprint \"example\" (version 20211014) (generator kelviq)\n"
         "  (layer \"F.Cu\")\n"
         "  (descr \"Artwork traced by KELVIQ\")\n"
         "  (attr board_only exclude_from_pos_files exclude_from_bom)\n"
         "  (fp_text reference \"REF**\" (at 0 0) (layer \"F.SilkS\") hide\n"
         "    (effects (font (size 1 1) (thickness 0.15)))\n"
         "  )\n"
         "  (fp_text value \"example\" (at 0 0) (layer \"F.Fab\") hide\n"
         "    (effects (font (size 1 1) (thickness 0.15)))\n"
         "  )\n"
         "  (fp_line (start -0.0762 -0.0254) (end 0.0254 -0.0254) (layer \"F.SilkS\") "
         "(width 0.254))\n"
         "  (fp_line (start 0.0254 0.0254) (end 0.0254 0.0254) (layer \"F.SilkS\") "
         "(width 0.254))\n"
         ")\n"},
        {PlotFormat::Svg,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" width=\"0.4064mm\" "
         "height=\"0.3556mm\" viewBox=\"-5 -8 16 14\">\n"
         "<path fill=\"none\" stroke=\"#000000\" stroke-linecap=\"round\" stroke-width=\"10\" "
         "d=\"M0 -2 L4 -2\nM4 0 L4 0\n\"/>\n"
         "</svg>\n"},
    };
    int failures = 0;
    for (const PlotFormatInfo& format : plotformat::all()) {
        const auto wanted = expected.find(format.format);
        for (const auto& [layout, picture] : pictures) {
            const std::string got = written(picture, format.format);
            if (wanted == expected.end() || got != wanted->second) {
                std::fprintf(stderr, "%.*s from %s pixels:\n%s\n",
                             static_cast<int>(format.name.size()), format.name.data(),
                             layout.c_str(), got.c_str());
                ++failures;
            }
        }
    }
    if (failures == 0)
        std::printf("The worked example comes out right in all %zu formats.\n",
                    plotformat::all().size());
    return failures == 0 ? 0 : 1;
}
