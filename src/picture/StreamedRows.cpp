#include "picture/StreamedRows.h"

#include "picture/PictureStream.h"

#include <algorithm>
#include <cstring>

namespace kelviq {

namespace {

std::size_t rowBytes(PixelRows::Layout layout, int width)
{
    const auto w = static_cast<std::size_t>(width);
    switch (layout) {
    case PixelRows::Layout::Bits:
        return (w + 7) / 8;
    case PixelRows::Layout::Rgb:
        return 4 * w;
    default:
        return w;
    }
}

} // namespace

StreamedRows::StreamedRows(Opener opener, Source first, bool mirrored)
    : PixelRows(first.decoder->width(), first.decoder->height(), first.decoder->layout(),
                first.decoder->palette()),
      m_opener(std::move(opener)), m_mirrored(mirrored), m_source(std::move(first)),
      m_own(rowBytes(layout(), width()))
{
}

StreamedRows::~StreamedRows() = default;

const unsigned char* StreamedRows::failed(const QString& problem) const
{
    if (m_error.isEmpty())
        m_error =
            problem.isEmpty() ? QStringLiteral("the file changed while it was read") : problem;
    std::fill(m_own.begin(), m_own.end(), 0);
    return m_own.data();
}

const unsigned char* StreamedRows::row(int y) const
{
    if (!m_error.isEmpty())
        return failed({});
    if (y == m_y)
        return m_row;
    if (y < m_y || !m_source.decoder) {
        QString problem;
        m_source = Source();
        m_source = m_opener(problem);
        m_y = -1;
        if (!m_source.decoder)
            return failed(problem);
    }
    PictureDecoder& decoder = *m_source.decoder;
    PictureDecoder::Span span;
    while (m_y < y) {
        if (!decoder.next(span))
            return failed(decoder.problem());
        m_y = span.y;
    }
    if (m_mirrored)
        mirror(span);
    else
        m_row = span.pixels;
    return m_row;
}

void StreamedRows::mirror(const PictureDecoder::Span& span) const
{
    const int w = width();
    unsigned char* out = m_own.data();
    switch (span.form) {
    case PictureDecoder::Form::Bits:
        std::fill(m_own.begin(), m_own.end(), 0);
        for (int x = 0; x < w; ++x)
            if (PictureDecoder::indexAt(span, x)) {
                const int to = w - 1 - x;
                out[to >> 3] |= static_cast<unsigned char>(0x80 >> (to & 7));
            }
        break;
    case PictureDecoder::Form::Bytes:
        std::reverse_copy(span.pixels, span.pixels + w, out);
        break;
    case PictureDecoder::Form::Words:
        for (int x = 0; x < w; ++x)
            std::memcpy(out + 4 * static_cast<std::size_t>(w - 1 - x), span.pixels + 4 * x, 4);
        break;
    }
    m_row = out;
}

} // namespace kelviq
