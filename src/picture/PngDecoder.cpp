#include "picture/PngDecoder.h"

#include "picture/ExifOrientation.h"
#include "picture/PictureStream.h"
#include "picture/WhiteBackground.h"

#include <cstdlib>
#include <cstring>
#include <png.h>
#include <vector>

namespace kelviq {

using namespace whitebackground;

struct PngDecoder::Library
{
    PictureStream* input = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    bool ended = false;
    bool outOfMemory = false;
    char message[256] = {};    // libpng's own words, copied: they may lie in a frame it leaves
    std::vector<png_byte> raw; // one row as libpng gives it
    std::vector<uchar> out;    // the row as a span

    ~Library() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

namespace {

using Library = PngDecoder::Library;

Library& libraryOf(png_const_structrp png)
{
    return *static_cast<Library*>(png_get_error_ptr(png));
}

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    Library& library = libraryOf(png);
    std::strncpy(library.message, message, sizeof library.message - 1);
    png_longjmp(png, 1);
}

// libpng would print these to standard error.
void onWarning(png_structp, png_const_charp)
{
}

void onRead(png_structp png, png_bytep data, png_size_t length)
{
    auto* library = static_cast<Library*>(png_get_io_ptr(png));
    const auto wanted = static_cast<qsizetype>(length);
    if (library->input->read(reinterpret_cast<char*>(data), wanted) != wanted) {
        library->ended = true;
        png_error(png, "the data ends");
    }
}

png_voidp onAllocate(png_structp png, png_alloc_size_t size)
{
    void* memory = std::malloc(size);
    if (!memory)
        static_cast<Library*>(png_get_mem_ptr(png))->outOfMemory = true;
    return memory;
}

void onFree(png_structp, png_voidp memory)
{
    std::free(memory);
}

int passRows(int height, int pass)
{
    return static_cast<int>(PNG_PASS_ROWS(static_cast<png_uint_32>(height), pass));
}

int passColumns(int width, int pass)
{
    return static_cast<int>(PNG_PASS_COLS(static_cast<png_uint_32>(width), pass));
}

} // namespace

PngDecoder::PngDecoder(PictureStream& input) : m_png(std::make_unique<Library>())
{
    m_png->input = &input;
    m_png->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, m_png.get(), onError, onWarning,
                                          m_png.get(), onAllocate, onFree);
    if (m_png->png)
        m_png->info = png_create_info_struct(m_png->png);
}

PngDecoder::~PngDecoder() = default;

// Every entry point sets up the jump back from libpng's errors itself, and keeps what must
// survive it in members.
#define KELVIQ_PNG_GUARD()                                                                         \
    do {                                                                                           \
        if (!m_png->info)                                                                          \
            return failOutOfMemory();                                                              \
        if (setjmp(png_jmpbuf(m_png->png)))                                                        \
            return libraryFailed();                                                                \
    } while (false)

namespace {

// The reason after libpng gave up.
QString reasonOf(const Library& library)
{
    if (library.ended)
        return FormatCheck::endedEarly(*library.input);
    return FormatCheck::damaged(
        QStringLiteral("the PNG decoder reports \"%1\"").arg(QString::fromLatin1(library.message)));
}

} // namespace

bool PngDecoder::libraryFailed()
{
    return m_png->outOfMemory ? failOutOfMemory() : fail(reasonOf(*m_png));
}

bool PngDecoder::start()
{
    KELVIQ_PNG_GUARD();
    png_structp png = m_png->png;
    png_infop info = m_png->info;
    png_set_read_fn(png, m_png.get(), onRead);
    // The picture's size is checked against this machine by the loader; allow what it allows.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    // A damaged chunk may hold the picture's transparency: no chunk is silently dropped.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);

    m_width = static_cast<int>(png_get_image_width(png, info));
    m_height = static_cast<int>(png_get_image_height(png, info));
    m_depth = png_get_bit_depth(png, info);
    m_colorType = png_get_color_type(png, info);
    m_interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
    m_topDown = !m_interlaced;
    m_claim.width = m_width;
    m_claim.height = m_height;
    m_codedWidth = m_width;
    m_codedHeight = m_height;

    png_uint_32 exifBytes = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &exifBytes, &exif) && exif)
        m_orientation = ExifOrientation::fromTiff(
            QByteArray(reinterpret_cast<const char*>(exif), static_cast<qsizetype>(exifBytes)));

    png_uint_32 perX = 0;
    png_uint_32 perY = 0;
    int unit = PNG_RESOLUTION_UNKNOWN; // only the pixels' aspect ratio
    if (png_get_pHYs(png, info, &perX, &perY, &unit) && unit == PNG_RESOLUTION_METER)
        m_density = PictureDensity::perMetre(perX, perY);

    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p transparent = nullptr;
    png_get_tRNS(png, info, &alphas, &alphaCount, &transparent);
    const bool oneBit = m_depth == 1;
    switch (m_colorType) {
    case PNG_COLOR_TYPE_PALETTE: {
        png_colorp entries = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &entries, &count);
        for (int i = 0; i < count && i < 256; ++i) {
            const int alpha = alphas && i < alphaCount ? alphas[i] : 255;
            m_palette[static_cast<std::size_t>(i)] =
                colorValueFromWord(word8(entries[i].red, entries[i].green, entries[i].blue, alpha));
        }
        // Qt shows indices the palette does not define in its first colour; a one-bit
        // picture's second colour then stays white.
        for (int i = count; i < 256; ++i)
            m_palette[static_cast<std::size_t>(i)] = oneBit && i == 1 ? 0xffffff : m_palette[0];
        m_layout = oneBit ? Layout::Bits : Layout::Indexed;
        break;
    }
    case PNG_COLOR_TYPE_GRAY:
        if (m_depth == 16) {
            for (int i = 0; i < 256; ++i)
                m_palette[static_cast<std::size_t>(i)] = colorValue(i, i, i);
            if (transparent)
                m_transparent[0] = transparent->gray;
        } else {
            const int levels = 1 << m_depth;
            for (int v = 0; v < levels; ++v) {
                const int grey = v * 255 / (levels - 1);
                m_palette[static_cast<std::size_t>(v)] = colorValue(grey, grey, grey);
            }
            if (transparent && transparent->gray < levels)
                m_palette[transparent->gray] = 0xffffff;
        }
        m_layout = oneBit ? Layout::Bits : Layout::Indexed;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        for (int i = 0; i < 256; ++i)
            m_palette[static_cast<std::size_t>(i)] = colorValue(i, i, i);
        m_layout = Layout::Indexed;
        break;
    default: // RGB, RGB with alpha
        if (transparent && m_colorType == PNG_COLOR_TYPE_RGB) {
            m_transparent[0] = transparent->red;
            m_transparent[1] = transparent->green;
            m_transparent[2] = transparent->blue;
        }
        m_layout = Layout::Rgb;
        break;
    }

    // Samples of fewer than 8 bits a byte each, except whole rows of bits.
    if (m_depth < 8 && !(oneBit && !m_interlaced))
        png_set_packing(png);
    png_read_update_info(png, info);
    m_png->raw.resize(png_get_rowbytes(png, info));
    m_png->out.resize(static_cast<std::size_t>(m_width) * (m_layout == Layout::Rgb ? 4 : 1));
    if (m_interlaced) {
        for (int pass = 0; pass < 7; ++pass)
            if (passColumns(m_width, pass) > 0)
                m_rowsTotal += passRows(m_height, pass);
    } else {
        m_rowsTotal = m_height;
    }
    return true;
}

bool PngDecoder::next(Span& span)
{
    if (m_rowsRead >= m_rowsTotal || !problem().isEmpty())
        return false;
    KELVIQ_PNG_GUARD();
    png_structp png = m_png->png;
    if (m_interlaced) {
        const int pass = png_get_current_pass_number(png);
        const int row = static_cast<int>(png_get_current_row_number(png));
        span.y = static_cast<int>(PNG_ROW_FROM_PASS_ROW(row, pass));
        span.x = static_cast<int>(PNG_PASS_START_COL(pass));
        span.step = 1 << PNG_PASS_COL_SHIFT(pass);
        span.count = passColumns(m_width, pass);
    } else {
        span.y = m_rowsRead;
        span.x = 0;
        span.step = 1;
        span.count = m_width;
    }
    png_read_row(png, m_png->raw.data(), nullptr);
    ++m_rowsRead;
    convertRow(span.count);
    const bool bits = m_depth == 1 && !m_interlaced;
    span.form = m_layout == Layout::Rgb ? Form::Words : bits ? Form::Bits : Form::Bytes;
    const bool asRead =
        m_layout != Layout::Rgb && m_depth <= 8 && m_colorType != PNG_COLOR_TYPE_GRAY_ALPHA;
    span.pixels = asRead ? m_png->raw.data() : m_png->out.data();
    return true;
}

void PngDecoder::convertRow(int count)
{
    const png_byte* in = m_png->raw.data();
    uchar* out = m_png->out.data();
    auto sample16 = [in](int i) { return (in[2 * i] << 8) | in[2 * i + 1]; };
    const bool wide = m_depth == 16;
    switch (m_colorType) {
    case PNG_COLOR_TYPE_GRAY:
        if (wide) {
            for (int x = 0; x < count; ++x) {
                const int v = sample16(x);
                out[x] = v == m_transparent[0] ? 255 : static_cast<uchar>(from16(v));
            }
        }
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        for (int x = 0; x < count; ++x)
            out[x] = static_cast<uchar>(wide ? channel16(sample16(2 * x), sample16(2 * x + 1))
                                             : channel8(in[2 * x], in[2 * x + 1]));
        break;
    case PNG_COLOR_TYPE_RGB:
        for (int x = 0; x < count; ++x) {
            int c[3];
            for (int k = 0; k < 3; ++k)
                c[k] = wide ? sample16(3 * x + k) : in[3 * x + k];
            RgbWord word = 0xffffffffu;
            if (c[0] != m_transparent[0] || c[1] != m_transparent[1] || c[2] != m_transparent[2]) {
                word =
                    wide ? wordFromColorValue(colorValue(from16(c[0]), from16(c[1]), from16(c[2])))
                         : wordFromColorValue(colorValue(c[0], c[1], c[2]));
            }
            std::memcpy(out + 4 * x, &word, sizeof word);
        }
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        for (int x = 0; x < count; ++x) {
            RgbWord word;
            if (wide) {
                const int a = sample16(4 * x + 3);
                word = wordFromColorValue(colorValue(channel16(sample16(4 * x), a),
                                                     channel16(sample16(4 * x + 1), a),
                                                     channel16(sample16(4 * x + 2), a)));
            } else {
                word = word8(in[4 * x], in[4 * x + 1], in[4 * x + 2], in[4 * x + 3]);
            }
            std::memcpy(out + 4 * x, &word, sizeof word);
        }
        break;
    default:
        break;
    }
}

bool PngDecoder::finish()
{
    if (!problem().isEmpty())
        return false;
    KELVIQ_PNG_GUARD();
    png_read_end(m_png->png, nullptr);
    return true;
}

} // namespace kelviq
