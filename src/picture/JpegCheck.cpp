#include "picture/JpegCheck.h"

#include "picture/FormatCheck.h"
#include "picture/PictureStream.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <limits>
#include <vector>

namespace kelviq {

namespace {

// Markers and tables before the frame header: colour profiles, thumbnails, metadata.
constexpr qint64 HeaderBytes = qint64(64) << 20;
constexpr int ChunkBytes = 16 * 1024;

struct Context
{
    jpeg_error_mgr errors{};
    jpeg_source_mgr source{};
    std::jmp_buf jump{};
    PictureStream* input = nullptr;
    std::vector<JOCTET> chunk = std::vector<JOCTET>(ChunkBytes);
    bool ended = false;  // the file ends
    bool ranOut = false; // the coded data ends before the picture
    QString message;
    // Kept here, not in the function that calls setjmp, so that they survive the jump back.
    QString tooLarge;
    std::vector<JSAMPLE> row;
};

Context* contextOf(j_common_ptr info)
{
    return reinterpret_cast<Context*>(reinterpret_cast<char*>(info->err) -
                                      offsetof(Context, errors));
}

[[noreturn]] void fail(j_common_ptr info)
{
    Context* context = contextOf(info);
    if (context->message.isEmpty()) {
        // The library's own words, quoted.
        char text[JMSG_LENGTH_MAX] = {};
        info->err->format_message(info, text);
        context->message = QString::fromLatin1(text);
    }
    std::longjmp(context->jump, 1);
}

// Warnings say the decoder patched something up; only a few are harmless notes.
void onMessage(j_common_ptr info, int level)
{
    if (level >= 0)
        return;
    switch (info->err->msg_code) {
    case JWRN_ADOBE_XFORM:
    case JWRN_BOGUS_ICC:
    case JWRN_JFIF_MAJOR:
        return;
    case JWRN_HIT_MARKER: // the coded data stops before the picture's last row
        contextOf(info)->message = QStringLiteral("its picture data ends before the last row");
        contextOf(info)->ranOut = true;
        std::longjmp(contextOf(info)->jump, 1);
    default:
        break;
    }
    fail(info);
}

void onOutput(j_common_ptr)
{
}

void initSource(j_decompress_ptr)
{
}
void termSource(j_decompress_ptr)
{
}

boolean fillInput(j_decompress_ptr info)
{
    Context* context = contextOf(reinterpret_cast<j_common_ptr>(info));
    const qsizetype got =
        context->input->read(reinterpret_cast<char*>(context->chunk.data()), ChunkBytes);
    if (got <= 0) {
        // libjpeg would invent an end marker and go on; a picture cut short is refused.
        context->ended = true;
        std::longjmp(context->jump, 1);
    }
    info->src->next_input_byte = context->chunk.data();
    info->src->bytes_in_buffer = static_cast<size_t>(got);
    return TRUE;
}

void skipInput(j_decompress_ptr info, long count)
{
    while (count > 0) {
        if (info->src->bytes_in_buffer == 0)
            fillInput(info);
        const auto take = std::min<size_t>(static_cast<size_t>(count), info->src->bytes_in_buffer);
        info->src->next_input_byte += take;
        info->src->bytes_in_buffer -= take;
        count -= static_cast<long>(take);
    }
}

// Walks the markers before the frame header, which libjpeg would search through byte by byte:
// anything but a marker there makes the file damaged, and endless garbage is refused at once.
QString headerProblem(PictureStream& input)
{
    qint64 at = 2;
    while (true) {
        input.fillTo(static_cast<qsizetype>(at + 4));
        const QByteArray& head = input.kept();
        if (head.size() < at + 2)
            return input.capExceeded() ? QString() : FormatCheck::truncated();
        const auto* bytes = reinterpret_cast<const uchar*>(head.constData());
        if (bytes[at] != 0xff)
            return FormatCheck::damaged(QStringLiteral("it holds something else where a JPEG "
                                                       "file has its next marker"));
        const uchar marker = bytes[at + 1];
        if (marker == 0xff) { // fill byte
            ++at;
            continue;
        }
        const bool frame =
            marker >= 0xc0 && marker <= 0xcf && marker != 0xc4 && marker != 0xc8 && marker != 0xcc;
        if (frame || marker == 0xda)
            return {}; // libjpeg takes it from here
        if (marker == 0x01 || (marker >= 0xd0 && marker <= 0xd8)) {
            at += 2;
            continue;
        }
        if (marker == 0xd9)
            return FormatCheck::damaged(QStringLiteral("it ends before its picture"));
        if (head.size() < at + 4)
            return input.capExceeded() ? QString() : FormatCheck::truncated();
        at += 2 + (qint64(bytes[at + 2]) << 8 | bytes[at + 3]);
    }
}

} // namespace

QString JpegCheck::problem(PictureStream& input,
                           const std::function<QString(const FormatCheck::Claim&)>& sizeProblem)
{
    Context context;
    context.input = &input;
    jpeg_decompress_struct info{};
    info.err = jpeg_std_error(&context.errors);
    context.errors.error_exit = fail;
    context.errors.emit_message = onMessage;
    context.errors.output_message = onOutput;
    input.setCap(HeaderBytes);
    if (const QString problem = headerProblem(input); !problem.isEmpty())
        return problem;

    jpeg_create_decompress(&info);
    if (setjmp(context.jump)) {
        jpeg_destroy_decompress(&info);
        if (!context.tooLarge.isEmpty())
            return context.tooLarge;
        if (context.ended)
            return FormatCheck::endedEarly(input);
        if (context.ranOut)
            return FormatCheck::damaged(context.message);
        return FormatCheck::damaged(
            QStringLiteral("the JPEG decoder reports \"%1\"").arg(context.message));
    }
    context.source.init_source = initSource;
    context.source.fill_input_buffer = fillInput;
    context.source.skip_input_data = skipInput;
    context.source.resync_to_restart = jpeg_resync_to_restart;
    context.source.term_source = termSource;
    info.src = &context.source;

    jpeg_read_header(&info, TRUE);
    FormatCheck::Claim claim;
    claim.width = info.image_width;
    claim.height = info.image_height;
    const qint64 pixels = claim.width * claim.height;
    // Qt's picture of 4 bytes a pixel; a progressive file also holds every coefficient.
    claim.memoryBytes =
        pixels * (4 + (jpeg_has_multiple_scans(&info) ? 2 * info.num_components : 0));
    // Every block of every component takes at least one bit, unless arithmetic coding packs
    // them tighter.
    if (!info.arith_code) {
        for (int c = 0; c < info.num_components; ++c)
            claim.leastFileBytes +=
                qint64(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks / 8;
    }
    // Even at the finest quality a JPEG stays near its raw size.
    claim.fileBytes = 4 * pixels * info.num_components + HeaderBytes;
    context.tooLarge = sizeProblem(claim);
    if (!context.tooLarge.isEmpty())
        std::longjmp(context.jump, 1);
    input.setCap(claim.fileBytes);
    info.mem->max_memory_to_use = static_cast<long>(
        std::min<qint64>(claim.memoryBytes + HeaderBytes, std::numeric_limits<long>::max()));

    // The cheapest decoding that still reads every bit: the grey channel only where there is
    // one, the fast transform, no smoothing.
    if (info.jpeg_color_space == JCS_YCbCr || info.jpeg_color_space == JCS_GRAYSCALE)
        info.out_color_space = JCS_GRAYSCALE;
    info.dct_method = JDCT_IFAST;
    info.do_fancy_upsampling = FALSE;
    info.do_block_smoothing = FALSE;
    jpeg_start_decompress(&info);
    context.row.resize(static_cast<std::size_t>(info.output_width) * info.output_components);
    JSAMPROW rows[1] = {context.row.data()};
    while (info.output_scanline < info.output_height)
        jpeg_read_scanlines(&info, rows, 1);
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return {};
}

} // namespace kelviq
