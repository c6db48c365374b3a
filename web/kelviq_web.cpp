// The web page's bridge to the conversion core: the picture the browser decoded, traced and
// written by the same src/trace and src/plot code as kelviq-convert. Plain C exports over one
// picture per module instance (the page runs one instance per picture, in a worker).
#include "plot/ByteSink.h"
#include "plot/GerberWriter.h"
#include "plot/NumberText.h"
#include "plot/PlotFormat.h"
#include "plot/PlotGeometry.h"
#include "trace/OverWhite.h"
#include "trace/PixelRows.h"
#include "trace/Raster.h"
#include "trace/Tracer.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using namespace kelviq;

namespace {

// The picture as opaque 0xFFRRGGBB words, rows from the top. Taken with malloc, which says
// when memory runs short (the module stops on a failed new).
class Picture final : public PixelRows
{
public:
    Picture(int width, int height, RgbWord* pixels)
        : PixelRows(width, height, Layout::Rgb, {}), m_pixels(pixels)
    {
    }
    ~Picture() override { std::free(m_pixels); }

    const unsigned char* row(int y) const override
    {
        return reinterpret_cast<const unsigned char*>(pixelRow(y));
    }
    RgbWord* pixelRow(int y) const
    {
        return m_pixels + static_cast<std::size_t>(y) * static_cast<std::size_t>(width());
    }
    std::size_t count() const
    {
        return static_cast<std::size_t>(width()) * static_cast<std::size_t>(height());
    }

private:
    RgbWord* m_pixels;
};

std::shared_ptr<Picture> picture;
std::vector<std::uint8_t> scratch;
std::vector<std::int32_t> traced; // y, begin, end of every traced run
std::vector<std::uint8_t> view;
std::string message;

struct MemorySink final : ByteSink
{
    std::string bytes;
    bool write(const char* data, std::size_t length) override
    {
        bytes.append(data, length);
        return true;
    }
};
std::string output;

TraceSettings traceSettings(int color, int tolerance, int invert, int despeckle)
{
    TraceSettings settings;
    settings.target = color;
    settings.tolerance = tolerance;
    settings.invert = invert != 0;
    settings.despeckle = despeckle;
    return settings;
}

std::string quoted(const std::string& text)
{
    return '"' + text + '"';
}

// The converter's words for a setting that cannot be used.
std::string badSetting(const std::string& setting, const std::string& text, const std::string& hint)
{
    if (isNumberText(text))
        return setting + quoted(text) + " is too large.";
    return setting + quoted(text) + " is not a number. " + hint;
}

// A plot length such as "25mm", "800 mil" or "1in", in mils, as the converter reads it.
bool parseLength(const std::string& text, double& mils)
{
    std::size_t begin = text.find_first_not_of(" \t");
    std::size_t end = text.find_last_not_of(" \t");
    const std::string trimmed = begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
    std::size_t split = trimmed.size();
    while (split > 0 && std::isalpha(static_cast<unsigned char>(trimmed[split - 1])))
        --split;
    std::string unit = trimmed.substr(split);
    std::transform(unit.begin(), unit.end(), unit.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const std::string length = quoted(text);
    if (unit.empty()) {
        message = "the length " + length + " has no unit: add mm, mil or in";
        return false;
    }
    double factor = 1.0;
    if (unit == "mm")
        factor = 1.0 / 0.0254;
    else if (unit == "in" || unit == "inch" || unit == "inches")
        factor = 1000.0;
    else if (unit != "mil" && unit != "mils") {
        message = "the length " + length + " has an unknown unit " + quoted(unit) +
                  ": use mm, mil or in";
        return false;
    }
    const std::optional<double> value = parseNumber(std::string_view(trimmed).substr(0, split));
    if (!value) {
        message = "the length " + length + " is not a number followed by mm, mil or in";
        return false;
    }
    mils = unit == "mm" ? *value / 0.0254 : *value * factor;
    if (!(mils > 0.0) || !std::isfinite(mils)) {
        message = "the length " + length + " must be more than zero";
        return false;
    }
    return true;
}

} // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void* kv_alloc(int bytes)
{
    return std::malloc(static_cast<std::size_t>(bytes));
}

EMSCRIPTEN_KEEPALIVE void kv_free(void* p)
{
    std::free(p);
}

EMSCRIPTEN_KEEPALIVE const char* kv_message()
{
    return message.c_str();
}

// Room for a picture of width × height pixels; false when memory runs short.
EMSCRIPTEN_KEEPALIVE int kv_open(int width, int height)
{
    picture.reset();
    traced.clear();
    const std::size_t bytes =
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * sizeof(RgbWord);
    if (width <= 0 || height <= 0 || bytes / sizeof(RgbWord) / static_cast<std::size_t>(width) !=
                                         static_cast<std::size_t>(height))
        return 0;
    auto* pixels = static_cast<RgbWord*>(std::malloc(bytes));
    if (!pixels)
        return 0;
    picture = std::make_shared<Picture>(width, height, pixels);
    return 1;
}

EMSCRIPTEN_KEEPALIVE void kv_close()
{
    picture.reset();
    std::vector<std::uint8_t>().swap(scratch);
    std::vector<std::int32_t>().swap(traced);
}

EMSCRIPTEN_KEEPALIVE int kv_width()
{
    return picture ? picture->width() : 0;
}

EMSCRIPTEN_KEEPALIVE int kv_height()
{
    return picture ? picture->height() : 0;
}

// Where the page puts decoded RGBA rows: at least bytes long (0 keeps the size).
EMSCRIPTEN_KEEPALIVE std::uint8_t* kv_scratch(int bytes)
{
    if (static_cast<std::size_t>(bytes) > scratch.size())
        scratch.resize(static_cast<std::size_t>(bytes));
    return scratch.data();
}

// Rows y … y + rows − 1 from the scratch, shown over white. Tells whether any pixel was partly
// transparent: a 2D canvas cannot hand such pixels over exactly, so the page reads them again
// another way.
EMSCRIPTEN_KEEPALIVE int kv_put_rows(int y, int rows)
{
    const std::size_t count =
        static_cast<std::size_t>(picture->width()) * static_cast<std::size_t>(rows);
    bool partlyTransparent = false;
    for (std::size_t i = 3; i < count * 4; i += 4)
        partlyTransparent |= static_cast<unsigned>(scratch[i] - 1) < 254u;
    OverWhite::flattenRgba(scratch.data(), picture->pixelRow(y), count);
    return partlyTransparent;
}

// The colour at column x, row y as 0x00BBGGRR, or −1 outside the picture.
EMSCRIPTEN_KEEPALIVE int kv_point(int x, int y)
{
    return picture ? Raster(picture).point(x, y) : NoColor;
}

// Traces with these settings and keeps the runs; the count of segments, or −1.
EMSCRIPTEN_KEEPALIVE int kv_trace(int color, int tolerance, int invert, int despeckle)
{
    traced.clear();
    Tracer tracer(Raster(picture), traceSettings(color, tolerance, invert, despeckle));
    std::vector<Run> runs;
    int y = 0;
    while (tracer.nextRow(y, runs))
        for (const Run& run : runs)
            traced.insert(traced.end(), {y, run.begin, run.end});
    return static_cast<int>(traced.size() / 3);
}

EMSCRIPTEN_KEEPALIVE const std::int32_t* kv_runs()
{
    return traced.data();
}

EMSCRIPTEN_KEEPALIVE int kv_run_count()
{
    return static_cast<int>(traced.size() / 3);
}

// The picture as RGBA bytes, as it is traced.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* kv_picture_view()
{
    view.resize(picture->count() * 4);
    std::uint8_t* out = view.data();
    const RgbWord* pixels = picture->pixelRow(0);
    for (std::size_t i = 0; i < picture->count(); ++i) {
        const RgbWord argb = pixels[i];
        *out++ = static_cast<std::uint8_t>(argb >> 16);
        *out++ = static_cast<std::uint8_t>(argb >> 8);
        *out++ = static_cast<std::uint8_t>(argb);
        *out++ = 255;
    }
    return view.data();
}

// The traced pixels in one strong colour (magenta, or green near magenta), the rest washed out
// halfway to white, as the window shows them.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* kv_traced_view(int picked)
{
    kv_picture_view();
    for (std::uint8_t& byte : view)
        byte = static_cast<std::uint8_t>((byte + 255) / 2);
    const int r = picked & 0xff;
    const int g = (picked >> 8) & 0xff;
    const int b = (picked >> 16) & 0xff;
    const bool green = std::abs(r - 255) + g + std::abs(b - 255) < r + std::abs(g - 200) + b;
    const std::uint8_t strong[4] = {std::uint8_t(green ? 0 : 255), std::uint8_t(green ? 200 : 0),
                                    std::uint8_t(green ? 0 : 255), 255};
    const auto width = static_cast<std::size_t>(picture->width());
    for (std::size_t i = 0; i < traced.size(); i += 3) {
        const std::size_t row = static_cast<std::size_t>(traced[i]) * width;
        for (std::int32_t x = traced[i + 1]; x < traced[i + 2]; ++x)
            std::copy_n(strong, 4, view.data() + (row + static_cast<std::size_t>(x)) * 4);
    }
    return view.data();
}

EMSCRIPTEN_KEEPALIVE void kv_view_release()
{
    std::vector<std::uint8_t>().swap(view);
}

// The scale that makes the plot as wide (or high) as length, as the converter works it out
// and writes it (15 digits); message holds it, or why not. 0 when it cannot be used.
EMSCRIPTEN_KEEPALIVE int kv_scale_for(const char* length, int byWidth)
{
    double mils = 0;
    if (!parseLength(length, mils)) {
        message = std::string("The plot ") + (byWidth ? "width" : "height") + ' ' + quoted(length) +
                  " cannot be used: " + message + '.';
        return 0;
    }
    const int pixels = byWidth ? picture->width() : picture->height();
    const double scale = mils / pixels;
    if (!std::isfinite(scale) || scale <= 0.0) {
        message = "the scale would not be a number";
        return 0;
    }
    message = numberText(scale);
    return 1;
}

// Writes the plot of the picture: the count of segments, or −1 with message saying why.
EMSCRIPTEN_KEEPALIVE int kv_write(int format, const char* scaleText, const char* thicknessText,
                                  const char* designName, int color, int tolerance, int invert,
                                  int despeckle)
{
    const std::optional<double> scale = parseNumber(scaleText);
    if (!scale) {
        message = badSetting("The scale ", scaleText, "Type the size of one pixel in mils, for example 2 or 0.5.");
        return -1;
    }
    std::optional<double> width = parseNumber(thicknessText);
    if (width)
        width = *width * 100.0;
    if (!width || !std::isfinite(*width)) {
        message = badSetting("The line thickness ", thicknessText, "Type the thickness in mils, for example 10 or 7.5.");
        return -1;
    }
    const auto plotFormat = static_cast<PlotFormat>(format);
    const PlotGeometry geometry(picture->width(), picture->height(), *scale);
    if (!std::isfinite(geometry.x(std::max(picture->width() - 1, 0))) || !std::isfinite(geometry.y(0))) {
        message = "The scale " + quoted(scaleText) + " is too large for this picture: its plot coordinates would not be numbers.";
        return -1;
    }
    if (plotFormat != PlotFormat::Ipf && *width < 0) {
        message = "The line thickness " + quoted(thicknessText) + " is negative: " +
                  std::string(plotformat::name(plotFormat)) + " lines need a thickness of 0 or more.";
        return -1;
    }
    if (plotFormat == PlotFormat::Gerber) {
        if (const std::string problem = GerberWriter::limitProblem(geometry); !problem.empty()) {
            message = "The scale " + quoted(scaleText) + " is too large for a Gerber file: " + problem + '.';
            return -1;
        }
    }
    {
        MemorySink sink;
        const std::unique_ptr<SegmentWriter> writer = plotformat::createWriter(plotFormat, sink, designName);
        writer->setLineWidth(*width);
        writer->begin(geometry);
        Tracer tracer(Raster(picture), traceSettings(color, tolerance, invert, despeckle));
        std::vector<Run> runs;
        int y = 0;
        long long segments = 0;
        while (tracer.nextRow(y, runs)) {
            writer->writeRow(y, runs);
            segments += static_cast<long long>(runs.size());
        }
        writer->end();
        writer->flush();
        output = std::move(sink.bytes);
        return static_cast<int>(std::min<long long>(segments, 0x7fffffff));
    }
}

EMSCRIPTEN_KEEPALIVE const char* kv_output()
{
    return output.data();
}

EMSCRIPTEN_KEEPALIVE int kv_output_size()
{
    return static_cast<int>(output.size());
}

EMSCRIPTEN_KEEPALIVE void kv_output_release()
{
    std::string().swap(output);
}

} // extern "C"
