// The web page's bridge to the conversion core: the picture the browser decoded, traced and
// written by the same src/trace and src/plot code as kelviq-convert. Plain C exports over one
// picture per module instance (the page runs one instance per picture, in a worker).
#include "plot/MemorySink.h"
#include "plot/NumberText.h"
#include "plot/OutlineTracer.h"
#include "plot/PlotFormat.h"
#include "plot/PlotGeometry.h"
#include "plot/PlotLength.h"
#include "plot/SegmentWriter.h"
#include "plot/SettingChecks.h"
#include "plot/ShapeStream.h"
#include "trace/OverWhite.h"
#include "trace/PixelRows.h"
#include "trace/Raster.h"
#include "trace/Tracer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <emscripten/emscripten.h>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace kelviq;

namespace {

// The picture's rows in one block of memory taken with malloc, which says when memory runs
// short (the module stops on a failed new): pixel words 0xAARRGGBB as the browser's decoder
// writes them (BGRA), made opaque over white before tracing; or a PNG's own palette and grey
// rows, a bit or a byte a pixel, each row after its filter byte.
class Picture final : public PixelRows
{
public:
    Picture(int width, int height, Layout layout, const Palette& palette, unsigned char* memory,
            std::size_t stride, std::size_t first)
        : PixelRows(width, height, layout, palette), m_memory(memory), m_stride(stride),
          m_first(first)
    {
    }
    ~Picture() override { std::free(m_memory); }

    const unsigned char* row(int y) const override { return rowMemory(y); }
    unsigned char* rowMemory(int y) const
    {
        return m_memory + m_first + static_cast<std::size_t>(y) * m_stride;
    }
    RgbWord* pixelRow(int y) const { return reinterpret_cast<RgbWord*>(rowMemory(y)); }
    std::size_t count() const
    {
        return static_cast<std::size_t>(width()) * static_cast<std::size_t>(height());
    }
    unsigned char* memory() const { return m_memory; }
    std::size_t stride() const { return m_stride; }

private:
    unsigned char* m_memory;
    std::size_t m_stride;
    std::size_t m_first;
};

std::shared_ptr<Picture> picture;
PlotStyle style;                  // lines or outlines, board side, layer: kv_set_style()
std::vector<std::int32_t> traced; // y, begin, end of every traced run
std::vector<std::uint8_t> view;
std::string output;
std::string message;

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

// The page's status line is one line: the sentences a message box would break apart, with a
// space between.
std::string oneLine(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', ' ');
    return text;
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

// Room for a picture of width × height pixels, where the page decodes it (BGRA); null when
// memory runs short.
EMSCRIPTEN_KEEPALIVE RgbWord* kv_open(int width, int height)
{
    picture.reset();
    traced.clear();
    if (width <= 0 || height <= 0)
        return nullptr;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (count > SIZE_MAX / sizeof(RgbWord) / 2)
        return nullptr;
    auto* pixels = static_cast<unsigned char*>(std::malloc(count * sizeof(RgbWord)));
    if (!pixels)
        return nullptr;
    picture = std::make_shared<Picture>(width, height, PixelRows::Layout::Rgb, PixelRows::Palette{},
                                        pixels, static_cast<std::size_t>(width) * 4, 0);
    return reinterpret_cast<RgbWord*>(pixels);
}

EMSCRIPTEN_KEEPALIVE void kv_close()
{
    picture.reset();
    std::vector<std::int32_t>().swap(traced);
    std::vector<std::uint8_t>().swap(view);
}

EMSCRIPTEN_KEEPALIVE int kv_width()
{
    return picture ? picture->width() : 0;
}

EMSCRIPTEN_KEEPALIVE int kv_height()
{
    return picture ? picture->height() : 0;
}

namespace {

// The PNG being read: its rows as inflated, each a filter byte and the row's bytes, and the
// bytes of one whole pixel, the unit of its filters (at least one).
std::size_t pngStride = 0;
std::size_t pngPixelBytes = 1;
int pngBits = 0;
bool pngColor = false;

// The Paeth predictor of the PNG format.
unsigned char paeth(int left, int up, int upLeft)
{
    const int p = left + up - upLeft;
    const int toLeft = std::abs(p - left);
    const int toUp = std::abs(p - up);
    const int toUpLeft = std::abs(p - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft)
        return static_cast<unsigned char>(left);
    return static_cast<unsigned char>(toUp <= toUpLeft ? up : upLeft);
}

// A 16-bit sample as 8 bits, rounded to nearest as Qt converts it.
unsigned char eightBits(const unsigned char* sample)
{
    const unsigned value = unsigned(sample[0]) << 8 | sample[1];
    return static_cast<unsigned char>((value * 255 + 32767) / 65535);
}

} // namespace

// Room for the inflated data of a PNG of width × height pixels without interlacing: height
// rows, each a filter byte and the row's bytes; null when memory runs short. Palette and grey
// pictures (color false) of 1 or 8 bits are kept as they are, a bit or a byte a pixel with
// their palette (count ColorValues at colors, the rest read as black); 16-bit grey becomes a
// byte a pixel with that palette of greys, 16-bit colour 32-bit words, as the converter has them.
EMSCRIPTEN_KEEPALIVE unsigned char* kv_open_png(int width, int height, int bits, int color,
                                                const ColorValue* colors, int count)
{
    picture.reset();
    traced.clear();
    const bool supported = color ? bits == 16 : bits == 1 || bits == 8 || bits == 16;
    if (width <= 0 || height <= 0 || !supported || count < 0 || count > 256)
        return nullptr;
    const std::size_t columns = static_cast<std::size_t>(width);
    const std::size_t samples = columns * (color ? 3 : 1);
    const std::size_t stride = 1 + (samples * static_cast<std::size_t>(bits) + 7) / 8;
    if (stride > SIZE_MAX / 2 / static_cast<std::size_t>(height))
        return nullptr;
    auto* memory =
        static_cast<unsigned char*>(std::malloc(stride * static_cast<std::size_t>(height)));
    if (!memory)
        return nullptr;
    pngStride = stride;
    pngPixelBytes = std::max<std::size_t>(1, (color ? 3 : 1) * static_cast<std::size_t>(bits) / 8);
    pngBits = bits;
    pngColor = color != 0;
    PixelRows::Palette palette{};
    std::copy_n(colors, count, palette.begin());
    using Layout = PixelRows::Layout;
    if (bits == 16) // rows made smaller in place once unfiltered
        picture = std::make_shared<Picture>(width, height, color ? Layout::Rgb : Layout::Indexed,
                                            palette, memory, columns * (color ? 4 : 1), 0);
    else
        picture = std::make_shared<Picture>(
            width, height, bits == 1 ? Layout::Bits : Layout::Indexed, palette, memory, stride, 1);
    return memory;
}

// Undoes the PNG's row filters in place, and puts 16-bit rows in the tracer's layout. With
// colors palette colours, any index at or past it makes the picture unusable here. False for a
// filter byte that is not one of the five or such an index.
EMSCRIPTEN_KEEPALIVE int kv_unfilter_png(int colors)
{
    const std::size_t length = pngStride - 1;
    const std::size_t unit = pngPixelBytes;
    unsigned char* const memory = picture->memory();
    const unsigned char* up = nullptr;
    for (int y = 0; y < picture->height(); ++y) {
        unsigned char* line = memory + static_cast<std::size_t>(y) * pngStride + 1;
        const int filter = line[-1];
        switch (filter) {
        case 0:
            break;
        case 1:
            for (std::size_t i = unit; i < length; ++i)
                line[i] = static_cast<unsigned char>(line[i] + line[i - unit]);
            break;
        case 2:
            if (up)
                for (std::size_t i = 0; i < length; ++i)
                    line[i] = static_cast<unsigned char>(line[i] + up[i]);
            break;
        case 3:
            for (std::size_t i = 0; i < length; ++i) {
                const int left = i >= unit ? line[i - unit] : 0;
                line[i] = static_cast<unsigned char>(line[i] + ((up ? up[i] : 0) + left) / 2);
            }
            break;
        case 4:
            for (std::size_t i = 0; i < length; ++i) {
                const int left = i >= unit ? line[i - unit] : 0;
                const int upLeft = up && i >= unit ? up[i - unit] : 0;
                line[i] = static_cast<unsigned char>(line[i] + paeth(left, up ? up[i] : 0, upLeft));
            }
            break;
        default:
            return 0;
        }
        up = line;
    }
    const auto width = static_cast<std::size_t>(picture->width());
    if (pngBits == 16) {
        // Each row's output ends before its input begins, so the rows shrink in place.
        for (int y = 0; y < picture->height(); ++y) {
            const unsigned char* in = memory + static_cast<std::size_t>(y) * pngStride + 1;
            unsigned char* out = picture->rowMemory(y);
            if (!pngColor) {
                for (std::size_t x = 0; x < width; ++x)
                    out[x] = eightBits(in + 2 * x);
                continue;
            }
            for (std::size_t x = 0; x < width; ++x, in += 6) {
                const RgbWord word = 0xff000000u | RgbWord(eightBits(in)) << 16 |
                                     RgbWord(eightBits(in + 2)) << 8 | eightBits(in + 4);
                std::memcpy(out + 4 * x, &word, sizeof word);
            }
        }
        return 1;
    }
    if (picture->layout() == PixelRows::Layout::Indexed && colors < 256) {
        for (int y = 0; y < picture->height(); ++y) {
            const unsigned char* line = picture->rowMemory(y);
            if (*std::max_element(line, line + width) >= colors)
                return 0;
        }
    }
    if (picture->layout() == PixelRows::Layout::Bits && colors < 2) {
        const std::size_t bytes = (width + 7) / 8;
        const auto lastBits = static_cast<unsigned char>(0xff00 >> (width - 8 * (bytes - 1)));
        for (int y = 0; y < picture->height(); ++y) {
            const unsigned char* line = picture->rowMemory(y);
            if (std::any_of(line, line + bytes - 1, [](unsigned char b) { return b != 0; }) ||
                (line[bytes - 1] & lastBits) != 0)
                return 0;
        }
    }
    return 1;
}

// Rows y … y + rows − 1, written as red, green, blue, alpha bytes (a 2D canvas's order), put in
// the tracer's order and shown over white. Tells whether any pixel was not opaque.
EMSCRIPTEN_KEEPALIVE int kv_put_rgba_rows(int y, int rows)
{
    RgbWord* pixels = picture->pixelRow(y);
    const std::size_t count =
        static_cast<std::size_t>(picture->width()) * static_cast<std::size_t>(rows);
    for (std::size_t i = 0; i < count; ++i) {
        const RgbWord word = pixels[i]; // 0xAABBGGRR
        pixels[i] = (word & 0xff00ff00u) | (word >> 16 & 0xffu) | (word & 0xffu) << 16;
    }
    return OverWhite::flatten(pixels, count);
}

// The whole picture as the browser decoded it: BGRA or BGRX (swapped: RGBA or RGBX), shown
// over white unless opaque, where the fourth byte is undefined.
EMSCRIPTEN_KEEPALIVE void kv_put_decoded(int swapped, int opaque)
{
    RgbWord* pixels = picture->pixelRow(0);
    const std::size_t count = picture->count();
    if (swapped)
        for (std::size_t i = 0; i < count; ++i) {
            const RgbWord word = pixels[i]; // 0xAABBGGRR
            pixels[i] = (word & 0xff00ff00u) | (word >> 16 & 0xffu) | (word & 0xffu) << 16;
        }
    if (!opaque)
        OverWhite::flatten(pixels, count);
}

// The colour at column x, row y as 0x00BBGGRR, or −1 outside the picture.
EMSCRIPTEN_KEEPALIVE int kv_point(int x, int y)
{
    return picture ? Raster(picture).point(x, y) : NoColor;
}

// Traces with these settings and keeps the runs; the count of segments.
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
    // A canvas's RGBA bytes read as a little-endian word: 0xAABBGGRR, the colour value with
    // an opaque alpha.
    auto* out = reinterpret_cast<std::uint32_t*>(view.data());
    const auto width = static_cast<std::size_t>(picture->width());
    std::array<std::uint32_t, 256> shown{};
    for (std::size_t i = 0; i < shown.size(); ++i)
        shown[i] = 0xff000000u | static_cast<std::uint32_t>(picture->palette()[i]);
    for (int y = 0; y < picture->height(); ++y, out += width) {
        const unsigned char* line = picture->row(y);
        switch (picture->layout()) {
        case PixelRows::Layout::Bits:
            for (std::size_t x = 0; x < width; ++x)
                out[x] = shown[(line[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case PixelRows::Layout::Indexed:
            for (std::size_t x = 0; x < width; ++x)
                out[x] = shown[line[x]];
            break;
        case PixelRows::Layout::Rgb:
            for (std::size_t x = 0; x < width; ++x) {
                RgbWord word;
                std::memcpy(&word, line + 4 * x, sizeof word);
                out[x] = 0xff000000u | static_cast<std::uint32_t>(colorValueFromWord(word));
            }
            break;
        case PixelRows::Layout::Empty:
            break;
        }
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
    const int r = redOf(picked);
    const int g = greenOf(picked);
    const int b = blueOf(picked);
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

// How the plots that follow are drawn: PlotShape, BoardSide and BoardLayer as numbers.
EMSCRIPTEN_KEEPALIVE void kv_set_style(int shape, int side, int layer)
{
    style = {static_cast<PlotShape>(shape), static_cast<BoardSide>(side),
             static_cast<BoardLayer>(layer)};
}

// Whether a plot length ("25mm") can be used; message says why not, in the converter's words.
EMSCRIPTEN_KEEPALIVE int kv_check_length(const char* length, int byWidth)
{
    if (plotlength::parse(length, &message))
        return 1;
    message = std::string("The plot ") + (byWidth ? "width" : "height") + ' ' + quoted(length) +
              " cannot be used: " + message + '.';
    return 0;
}

// Whether a scale and a thickness can make a plot in the format at all (the converter checks
// them before any picture); message says why not.
EMSCRIPTEN_KEEPALIVE int kv_check_range(const char* scaleText, const char* thicknessText,
                                        int format)
{
    const settingcheck::Setting scale{scaleText, scaleText};
    const settingcheck::Setting thickness{thicknessText, thicknessText};
    const auto plotFormat = static_cast<PlotFormat>(format);
    message = settingcheck::unreadableProblem(scale, thickness);
    if (message.empty())
        message = settingcheck::shapeProblem(plotFormat, style.shape);
    if (message.empty())
        message = settingcheck::rangeProblem(scale, thickness, plotFormat, style.shape);
    message = oneLine(message);
    return message.empty();
}

// The scale that makes the plot in the format as wide (or high) as length, as the converter
// works it out and writes it (15 digits); message holds it, or why not. 0 when it cannot be
// used.
EMSCRIPTEN_KEEPALIVE int kv_scale_for(const char* length, int byWidth, const char* pictureName,
                                      int formatNumber)
{
    if (!kv_check_length(length, byWidth))
        return 0;
    plotlength::Unit unit = plotlength::Unit::Mil;
    const double wanted = *plotlength::parse(length, nullptr, &unit);
    std::string scale;
    message = oneLine(settingcheck::sizeProblem(length, unit, wanted, byWidth != 0, pictureName,
                                                static_cast<PlotFormat>(formatNumber),
                                                picture->width(), picture->height(), style, scale));
    if (!message.empty())
        return 0;
    message = std::move(scale);
    return 1;
}

// Writes the plot of the picture as the converter's run does, checking the settings first: the
// count of segments (of shapes for outlines), or −1 with message saying why.
EMSCRIPTEN_KEEPALIVE int kv_write(int formatNumber, const char* scaleText,
                                  const char* thicknessText, const char* designName, int color,
                                  int tolerance, int invert, int despeckle)
{
    const auto format = static_cast<PlotFormat>(formatNumber);
    if (!kv_check_range(scaleText, thicknessText, formatNumber))
        return -1;
    const double scale = *parseNumber(scaleText);
    const double width = *settingcheck::lineWidth(thicknessText);
    const int columns = picture->width();
    const int rows = picture->height();
    message =
        oneLine(settingcheck::scaleProblem({scaleText, scaleText}, format, columns, rows, style));
    if (!message.empty())
        return -1;

    const PlotGeometry geometry(columns, rows, scale, style.side, style.shape);
    MemorySink sink;
    const std::unique_ptr<SegmentWriter> writer =
        plotformat::createWriter(format, sink, designName);
    writer->setLineWidth(width);
    writer->begin(geometry, style.layer);
    Tracer tracer(Raster(picture), traceSettings(color, tolerance, invert, despeckle));
    std::vector<Run> runs;
    int y = 0;
    long long segments = 0; // or shapes
    if (style.shape == PlotShape::Outline) {
        ShapeStream shapes([&](const Shape& shape) { writer->writeShape(shape); });
        while (tracer.nextRow(y, runs))
            shapes.addRow(y, runs);
        shapes.finish();
        segments = shapes.shapes();
    } else {
        while (tracer.nextRow(y, runs)) {
            writer->writeRow(y, runs);
            segments += static_cast<long long>(runs.size());
        }
    }
    writer->end();
    writer->flush();
    output = std::move(sink.bytes);
    return static_cast<int>(std::min<long long>(segments, 0x7fffffff));
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
