#include "picture/JpegDecoder.h"

#include "picture/ExifOrientation.h"
#include "picture/PictureStream.h"

#include <algorithm>
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <jerror.h>
#include <jpeglib.h>
#include <limits>
#include <vector>

namespace kelviq {

namespace {

// Markers and tables before the frame header: colour profiles, thumbnails, metadata.
constexpr qint64 HeaderBytes = qint64(64) << 20;
constexpr int ChunkBytes = 16 * 1024;

} // namespace

struct JpegDecoder::Library
{
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    jpeg_source_mgr source{};
    std::jmp_buf jump{};
    bool created = false;
    PictureStream* input = nullptr;
    std::vector<JOCTET> chunk = std::vector<JOCTET>(ChunkBytes);
    bool ended = false;  // the file ends
    bool ranOut = false; // the coded data ends before the picture
    bool outOfMemory = false;
    char message[JMSG_LENGTH_MAX] = {};
    std::vector<JSAMPLE> row;
    std::vector<uchar> out;

    ~Library()
    {
        if (created)
            jpeg_destroy_decompress(&info);
    }
};

namespace {

using Library = JpegDecoder::Library;

Library* libraryOf(j_common_ptr info)
{
    return reinterpret_cast<Library*>(reinterpret_cast<char*>(info->err) -
                                      offsetof(Library, errors));
}

[[noreturn]] void onError(j_common_ptr info)
{
    Library* library = libraryOf(info);
    const int code = info->err->msg_code;
    if (code == JERR_OUT_OF_MEMORY || code == JERR_NO_BACKING_STORE)
        library->outOfMemory = true;
    if (library->message[0] == '\0')
        info->err->format_message(info, library->message);
    std::longjmp(library->jump, 1);
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
        libraryOf(info)->ranOut = true;
        std::longjmp(libraryOf(info)->jump, 1);
    default:
        break;
    }
    onError(info);
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
    Library* library = libraryOf(reinterpret_cast<j_common_ptr>(info));
    const qsizetype got =
        library->input->read(reinterpret_cast<char*>(library->chunk.data()), ChunkBytes);
    if (got <= 0) {
        // libjpeg would invent an end marker and go on; a picture cut short is refused.
        library->ended = true;
        std::longjmp(library->jump, 1);
    }
    info->src->next_input_byte = library->chunk.data();
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

} // namespace

JpegDecoder::JpegDecoder(PictureStream& input, Fidelity fidelity)
    : m_jpeg(std::make_unique<Library>()), m_fidelity(fidelity)
{
    m_jpeg->input = &input;
}

JpegDecoder::~JpegDecoder() = default;

// Walks the markers before the frame header, which libjpeg would search through byte by byte:
// anything but a marker there makes the file damaged, and endless garbage is refused at once.
// Reads the EXIF orientation on the way.
QString JpegDecoder::headerProblem()
{
    PictureStream& input = *m_jpeg->input;
    qint64 at = 2;
    bool exifSeen = false;
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
        const qint64 length = qint64(bytes[at + 2]) << 8 | bytes[at + 3];
        if (marker == 0xe1 && !exifSeen) {
            input.fillTo(static_cast<qsizetype>(at + 2 + length));
            const QByteArray segment = input.kept().mid(at + 4, length - 2);
            if (segment.startsWith(QByteArray("Exif\0\0", 6))) {
                exifSeen = true;
                m_orientation = ExifOrientation::fromTiff(segment.mid(6));
            }
        }
        at += 2 + length;
    }
}

bool JpegDecoder::libraryFailed()
{
    if (m_jpeg->outOfMemory)
        return failOutOfMemory();
    if (m_jpeg->ended)
        return fail(FormatCheck::endedEarly(*m_jpeg->input));
    if (m_jpeg->ranOut)
        return fail(
            FormatCheck::damaged(QStringLiteral("its picture data ends before the last row")));
    return fail(FormatCheck::damaged(QStringLiteral("the JPEG decoder reports \"%1\"")
                                         .arg(QString::fromLatin1(m_jpeg->message))));
}

bool JpegDecoder::start()
{
    Library& jpeg = *m_jpeg;
    jpeg.input->setCap(HeaderBytes);
    if (const QString problem = headerProblem(); !problem.isEmpty())
        return fail(problem);

    jpeg_decompress_struct& info = jpeg.info;
    info.err = jpeg_std_error(&jpeg.errors);
    jpeg.errors.error_exit = onError;
    jpeg.errors.emit_message = onMessage;
    jpeg.errors.output_message = onOutput;
    if (setjmp(jpeg.jump))
        return libraryFailed();
    jpeg_create_decompress(&info);
    jpeg.created = true;
    jpeg.source.init_source = initSource;
    jpeg.source.fill_input_buffer = fillInput;
    jpeg.source.skip_input_data = skipInput;
    jpeg.source.resync_to_restart = jpeg_resync_to_restart;
    jpeg.source.term_source = termSource;
    info.src = &jpeg.source;
    jpeg_read_header(&info, TRUE);

    m_width = static_cast<int>(info.image_width);
    m_height = static_cast<int>(info.image_height);
    // A JFIF header's density: per inch, per centimetre, or 0 for only the pixels' aspect ratio.
    if (info.saw_JFIF_marker && info.density_unit == 1)
        m_density = PictureDensity::perInch(info.X_density, info.Y_density);
    else if (info.saw_JFIF_marker && info.density_unit == 2)
        m_density = PictureDensity::perMetre(info.X_density * 100.0, info.Y_density * 100.0);
    m_codedWidth = m_width;
    m_codedHeight = m_height;
    m_claim.width = info.image_width;
    m_claim.height = info.image_height;
    if (FormatCheck::beyondReach(m_claim))
        return true;
    const qint64 pixels = m_claim.width * m_claim.height;
    // Every block of every component takes at least one bit, unless arithmetic coding packs
    // them tighter; a progressive file keeps every coefficient of every block.
    qint64 blocks = 0;
    for (int c = 0; c < info.num_components; ++c)
        blocks += qint64(info.comp_info[c].width_in_blocks) * info.comp_info[c].height_in_blocks;
    if (!info.arith_code)
        m_claim.leastFileBytes = blocks / 8;
    if (jpeg_has_multiple_scans(&info))
        m_ownMemory = blocks * qint64(sizeof(JBLOCK));
    // Even at the finest quality a JPEG stays near its raw size.
    m_claim.fileBytes = 4 * pixels * info.num_components + HeaderBytes;
    jpeg.input->setCap(m_claim.fileBytes);

    m_cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    const bool grey = info.jpeg_color_space == JCS_GRAYSCALE;
    for (int i = 0; i < 256; ++i)
        m_palette[static_cast<std::size_t>(i)] = colorValue(i, i, i);
    m_layout = grey ? Layout::Indexed : Layout::Rgb;
    return true;
}

bool JpegDecoder::begin()
{
    Library& jpeg = *m_jpeg;
    jpeg_decompress_struct& info = jpeg.info;
    info.mem->max_memory_to_use = static_cast<long>(
        std::min<qint64>(2 * m_ownMemory + HeaderBytes, std::numeric_limits<long>::max()));
    const bool cheap = m_fidelity == Fidelity::CheckOnly;
    if (m_cmyk)
        info.out_color_space = JCS_CMYK;
    else if (info.jpeg_color_space == JCS_GRAYSCALE ||
             (cheap && info.jpeg_color_space == JCS_YCbCr))
        info.out_color_space = JCS_GRAYSCALE; // a check needs the grey channel only
    else
        info.out_color_space = JCS_EXT_BGRX; // blue, green, red, filler: the pixel word itself
    if (cheap) {
        // The fast transform, no smoothing: still every bit of the file is read.
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
        info.do_block_smoothing = FALSE;
    }
    jpeg_start_decompress(&info);
    jpeg.row.resize(static_cast<std::size_t>(info.output_width) * info.output_components);
    jpeg.out.resize(static_cast<std::size_t>(info.output_width) * 4);
    m_begun = true;
    return true;
}

bool JpegDecoder::next(Span& span)
{
    Library& jpeg = *m_jpeg;
    if (!problem().isEmpty() || (m_begun && jpeg.info.output_scanline >= jpeg.info.output_height))
        return false;
    if (setjmp(jpeg.jump))
        return libraryFailed();
    if (!m_begun)
        begin();
    span.y = static_cast<int>(jpeg.info.output_scanline);
    span.x = 0;
    span.step = 1;
    span.count = m_width;
    JSAMPROW rows[1] = {jpeg.row.data()};
    jpeg_read_scanlines(&jpeg.info, rows, 1);
    const int components = jpeg.info.output_components;
    if (components == 1) {
        span.form = Form::Bytes;
        span.pixels = jpeg.row.data();
    } else if (components == 4 && jpeg.info.out_color_space == JCS_CMYK) {
        // As Qt turns CMYK into RGB: each ink times the black, stored as Adobe stores it.
        const JSAMPLE* in = jpeg.row.data();
        for (int x = 0; x < m_width; ++x, in += 4) {
            const RgbWord word = wordFromColorValue(
                colorValue(in[0] * in[3] / 255, in[1] * in[3] / 255, in[2] * in[3] / 255));
            std::memcpy(jpeg.out.data() + 4 * x, &word, sizeof word);
        }
        span.form = Form::Words;
        span.pixels = jpeg.out.data();
    } else {
        span.form = Form::Words;
        span.pixels = jpeg.row.data();
    }
    return true;
}

bool JpegDecoder::finish()
{
    Library& jpeg = *m_jpeg;
    if (!problem().isEmpty())
        return false;
    if (setjmp(jpeg.jump))
        return libraryFailed();
    if (!m_begun)
        begin();
    // Rows not asked for are still read: a fault anywhere refuses the file.
    JSAMPROW rows[1] = {jpeg.row.data()};
    while (jpeg.info.output_scanline < jpeg.info.output_height)
        jpeg_read_scanlines(&jpeg.info, rows, 1);
    jpeg_finish_decompress(&jpeg.info);
    return true;
}

} // namespace kelviq
