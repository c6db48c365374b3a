#include "picture/PngCheck.h"

#include "picture/FormatCheck.h"
#include "picture/PictureStream.h"

#include <png.h>
#include <vector>

namespace kelviq {

namespace {

struct Context
{
    PictureStream* input = nullptr;
    bool ended = false;
    QString message;
    std::vector<png_byte> row; // here, so that it survives the jump back to setjmp
};

[[noreturn]] void onError(png_structp png, png_const_charp message)
{
    auto* context = static_cast<Context*>(png_get_error_ptr(png));
    if (context->message.isEmpty())
        context->message = QString::fromLatin1(message);
    png_longjmp(png, 1);
}

// libpng would print these to standard error.
void onWarning(png_structp, png_const_charp)
{
}

void onRead(png_structp png, png_bytep data, png_size_t length)
{
    auto* context = static_cast<Context*>(png_get_io_ptr(png));
    const auto wanted = static_cast<qsizetype>(length);
    if (context->input->read(reinterpret_cast<char*>(data), wanted) != wanted) {
        context->ended = true;
        png_error(png, "the data ends");
    }
}

} // namespace

QString PngCheck::problem(PictureStream& input)
{
    Context context;
    context.input = &input;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, onError, onWarning);
    if (!png)
        return QStringLiteral("not enough memory to read it");
    png_infop info = png_create_info_struct(png);
    // Everything libpng allocates is freed on every way out.
    struct Cleanup
    {
        png_structp* png;
        png_infop* info;
        ~Cleanup() { png_destroy_read_struct(png, info, nullptr); }
    } cleanup{&png, &info};
    if (!info)
        return QStringLiteral("not enough memory to read it");

    if (setjmp(png_jmpbuf(png))) {
        if (context.ended)
            return FormatCheck::endedEarly(input);
        return FormatCheck::damaged(
            QStringLiteral("the PNG decoder reports \"%1\"").arg(context.message));
    }
    png_set_read_fn(png, &context, onRead);
    // The picture's size was checked against this machine before; allow what it allows.
    png_set_user_limits(png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    // A damaged chunk may hold the picture's transparency: no chunk is silently dropped.
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    context.row.resize(png_get_rowbytes(png, info));
    const png_uint_32 height = png_get_image_height(png, info);
    for (int pass = 0; pass < passes; ++pass)
        for (png_uint_32 y = 0; y < height; ++y)
            png_read_row(png, context.row.data(), nullptr);
    png_read_end(png, nullptr);
    return {};
}

} // namespace kelviq
