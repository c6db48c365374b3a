#include "window/ShapeRaster.h"

#include <QtEndian>
#include <algorithm>
#include <utility>

namespace kelviq {

namespace {

// Each bit becomes the parity of itself and every bit before it (the first pixel in the top
// bit), started from carry; carry becomes that of the last bit.
template <typename Word> Word sweep(Word bits, bool& carry)
{
    for (unsigned shift = 1; shift < sizeof(Word) * 8; shift *= 2)
        bits ^= static_cast<Word>(bits >> shift);
    if (carry)
        bits = static_cast<Word>(~bits);
    carry = (bits & 1) != 0;
    return bits;
}

} // namespace

ShapeRaster::ShapeRaster(int columns, int rows, BoardSide side)
    : m_image(columns, rows, QImage::Format_Mono), m_columns(columns),
      m_mirrored(side == BoardSide::Bottom)
{
    if (m_image.isNull())
        return;
    m_image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    m_image.fill(0);
    m_bits = m_image.bits();
    m_bytesPerLine = m_image.bytesPerLine();
}

void ShapeRaster::add(const Shape& shape)
{
    if (isNull())
        return;
    addContour(shape.outline);
    for (const Contour& hole : shape.holes)
        addContour(hole);
}

void ShapeRaster::addContour(const Contour& contour)
{
    for (std::size_t i = 0; i < contour.size(); ++i) {
        const Corner& from = contour[i];
        const Corner& to = contour[(i + 1) % contour.size()];
        if (from.x != to.x)
            continue; // a horizontal edge flips nothing
        const int x = m_mirrored ? m_columns - from.x : from.x;
        if (x >= m_columns)
            continue; // the picture's right edge: nothing lies right of it
        const auto bit = static_cast<uchar>(0x80u >> (x & 7));
        uchar* at = m_bits + std::min(from.y, to.y) * m_bytesPerLine + (x >> 3);
        for (int y = std::min(from.y, to.y); y < std::max(from.y, to.y); ++y, at += m_bytesPerLine)
            *at ^= bit;
    }
}

QImage ShapeRaster::finish()
{
    if (isNull() || m_columns == 0)
        return m_image;
    // The bytes of the columns; the bits past the last column are cleared again.
    const qsizetype bytes = (m_columns + 7) / 8;
    const auto past = static_cast<uchar>(0xffu << (7 - ((m_columns - 1) & 7)));
    for (int y = 0; y < m_image.height(); ++y) {
        uchar* line = m_bits + y * m_bytesPerLine;
        bool carry = false;
        qsizetype i = 0;
        for (; i + 8 <= bytes; i += 8)
            qToBigEndian(sweep(qFromBigEndian<quint64>(line + i), carry), line + i);
        for (; i < bytes; ++i)
            line[i] = sweep(line[i], carry);
        line[bytes - 1] &= past;
    }
    m_bits = nullptr;
    return std::exchange(m_image, QImage());
}

} // namespace kelviq
