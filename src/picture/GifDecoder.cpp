#include "picture/GifDecoder.h"

#include "picture/PictureStream.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>

namespace kelviq {

struct GifDecoder::Library
{
    PictureStream* input = nullptr;
    GifFileType* file = nullptr;
    bool ended = false;
    int transparent = -1; // from the graphic control block before the frame

    ~Library()
    {
        if (file)
            DGifCloseFile(file, nullptr);
    }
};

namespace {

int onRead(GifFileType* gif, GifByteType* data, int length)
{
    auto* library = static_cast<GifDecoder::Library*>(gif->UserData);
    const qsizetype got = library->input->read(reinterpret_cast<char*>(data), length);
    if (got != length)
        library->ended = true;
    return static_cast<int>(got);
}

// The frame row of the i-th line of an interlaced frame: every 8th row from 0, every 8th from
// 4, every 4th from 2, every 2nd from 1.
int interlacedRow(int line, int height)
{
    const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto& [first, step] : passes) {
        const int rows = first < height ? (height - first + step - 1) / step : 0;
        if (line < rows)
            return first + line * step;
        line -= rows;
    }
    return height; // beyond the frame
}

constexpr RgbWord White = 0xffffffffu;

} // namespace

GifDecoder::GifDecoder(PictureStream& input) : m_gif(std::make_unique<Library>())
{
    m_gif->input = &input;
}

GifDecoder::~GifDecoder() = default;

bool GifDecoder::libraryFailed(int code)
{
    if (m_gif->ended)
        return fail(FormatCheck::endedEarly(*m_gif->input));
    if (code == D_GIF_ERR_NOT_ENOUGH_MEM)
        return failOutOfMemory();
    const char* text = GifErrorString(code);
    return fail(FormatCheck::damaged(QStringLiteral("the GIF decoder reports \"%1\"")
                                         .arg(QString::fromLatin1(text ? text : "unknown error"))));
}

bool GifDecoder::start()
{
    int error = 0;
    m_gif->file = DGifOpen(m_gif.get(), onRead, &error);
    GifFileType* gif = m_gif->file;
    if (!gif)
        return libraryFailed(error);

    while (true) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            return libraryFailed(gif->Error);
        if (record == IMAGE_DESC_RECORD_TYPE)
            break;
        if (record == TERMINATE_RECORD_TYPE)
            return fail(FormatCheck::damaged(QStringLiteral("it holds no picture")));
        if (record != EXTENSION_RECORD_TYPE)
            return libraryFailed(D_GIF_ERR_WRONG_RECORD);
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
            return libraryFailed(gif->Error);
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
            m_gif->transparent = (block[1] & 1) ? block[4] : -1;
        while (block)
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                return libraryFailed(gif->Error);
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR)
        return libraryFailed(gif->Error);
    const GifImageDesc& frame = gif->Image;
    if (frame.Width <= 0 || frame.Height <= 0)
        return fail(FormatCheck::damaged(QStringLiteral("its first picture has no pixels")));
    m_left = frame.Left;
    m_top = frame.Top;
    m_frameWidth = frame.Width;
    m_frameHeight = frame.Height;
    m_interlaced = frame.Interlace;
    m_codedWidth = frame.Width;
    m_codedHeight = frame.Height;
    // A screen of no size takes the frame's.
    m_width = gif->SWidth > 0 ? gif->SWidth : m_left + m_frameWidth;
    m_height = gif->SHeight > 0 ? gif->SHeight : m_top + m_frameHeight;
    m_claim.width = m_width;
    m_claim.height = m_height;
    // The frame's codes take at most 12 bits a pixel.
    m_claim.fileBytes = 2 * qint64(m_frameWidth) * m_frameHeight + FormatCheck::Slack;
    m_topDown = !m_interlaced;

    // Qt's colours: the frame's table or the file's; without either, a table of three blacks.
    const ColorMapObject* map = frame.ColorMap ? frame.ColorMap : gif->SColorMap;
    const int defined = map ? std::clamp(map->ColorCount, 0, 256) : 3;
    for (int i = 0; i < 256; ++i) {
        ColorValue color = 0xffffff;
        if (i < defined)
            color =
                map ? colorValue(map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue) : 0;
        m_palette[static_cast<std::size_t>(i)] = color;
    }
    if (m_gif->transparent >= 0)
        m_palette[static_cast<std::size_t>(m_gif->transparent)] = 0xffffff;

    // The screen beyond the frame is transparent: an index of white where there is one.
    m_covered = m_left == 0 && m_top == 0 && m_frameWidth >= m_width && m_frameHeight >= m_height;
    int white = defined < 256 ? 255 : m_gif->transparent;
    for (int i = 0; white < 0 && i < 256; ++i)
        if (m_palette[static_cast<std::size_t>(i)] == 0xffffff)
            white = i;
    if (m_covered || white >= 0) {
        m_layout = Layout::Indexed;
        m_fill = static_cast<quint32>(std::max(white, 0));
        m_row.resize(static_cast<std::size_t>(m_width));
    } else {
        m_layout = Layout::Rgb;
        m_fill = White;
        m_row.resize(static_cast<std::size_t>(m_width) * 4);
    }
    m_line.resize(static_cast<std::size_t>(m_frameWidth));
    return true;
}

bool GifDecoder::readLine()
{
    if (DGifGetLine(m_gif->file, m_line.data(), m_frameWidth) == GIF_ERROR)
        return libraryFailed(m_gif->file->Error);
    ++m_linesRead;
    return true;
}

// One row of the picture: the screen's fill, and over it the frame's line when there is one.
void GifDecoder::composeRow(bool withLine)
{
    const int from = std::min(m_left, m_width);
    const int to = static_cast<int>(std::min<qint64>(qint64(m_left) + m_frameWidth, m_width));
    if (m_layout == Layout::Indexed) {
        std::memset(m_row.data(), static_cast<int>(m_fill), m_row.size());
        if (withLine)
            std::memcpy(m_row.data() + from, m_line.data(), static_cast<std::size_t>(to - from));
        return;
    }
    auto* words = reinterpret_cast<RgbWord*>(m_row.data());
    std::fill(words, words + m_width, White);
    for (int x = from; withLine && x < to; ++x)
        words[x] = wordFromColorValue(m_palette[m_line[static_cast<std::size_t>(x - m_left)]]);
}

bool GifDecoder::next(Span& span)
{
    if (!problem().isEmpty())
        return false;
    span.x = 0;
    span.step = 1;
    span.count = m_width;
    span.form = m_layout == Layout::Indexed ? Form::Bytes : Form::Words;
    span.pixels = m_row.data();
    if (!m_interlaced) {
        if (m_nextRow >= m_height)
            return false;
        span.y = m_nextRow++;
        const bool inFrame = span.y >= m_top && span.y - m_top < m_frameHeight;
        if (inFrame && !readLine())
            return false;
        composeRow(inFrame);
        return true;
    }
    // Interlaced: the frame's lines in the file's order; those below the screen are read and
    // dropped.
    while (m_linesRead < m_frameHeight) {
        const int row = m_top + interlacedRow(m_linesRead, m_frameHeight);
        if (!readLine())
            return false;
        if (row < m_height) {
            span.y = row;
            composeRow(true);
            return true;
        }
    }
    return false;
}

bool GifDecoder::finish()
{
    // The rest of the frame, below the screen: a fault there refuses the file too.
    while (problem().isEmpty() && m_linesRead < m_frameHeight)
        if (!readLine())
            return false;
    return problem().isEmpty();
}

} // namespace kelviq
