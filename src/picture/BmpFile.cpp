#include "picture/BmpFile.h"

#include "picture/FormatCheck.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

namespace kelviq {

namespace {

constexpr qint64 FileHeaderSize = 14;

quint32 u32(const QByteArray& data, qint64 at)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData()) + at;
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

quint16 u16(const QByteArray& data, qint64 at)
{
    const auto* p = reinterpret_cast<const uchar*>(data.constData()) + at;
    return quint16(p[0] | p[1] << 8);
}

void putU32(QByteArray& data, qint64 at, quint32 value)
{
    for (int i = 0; i < 4; ++i)
        data[at + i] = char((value >> (8 * i)) & 0xff);
}

QString notSupported(const QString& what)
{
    return QStringLiteral("it is a kind of BMP file this program cannot read (") + what +
           QLatin1Char(')');
}

} // namespace

BmpFile BmpFile::inspect(const QByteArray& data)
{
    BmpFile bmp;
    const qint64 size = data.size();
    if (data.startsWith("BA")) {
        bmp.m_problem = notSupported(QStringLiteral("an OS/2 bitmap array"));
        return bmp;
    }
    if (size < FileHeaderSize + 4) {
        bmp.m_problem = FormatCheck::truncated();
        return bmp;
    }
    const quint32 headerSize = u32(data, FileHeaderSize);
    const bool os2v1 = headerSize == 12;
    const bool os2v2 = headerSize == 64;
    switch (headerSize) {
    case 12:
    case 40:
    case 64:
    case 108:
    case 124:
        break;
    case 16:
    case 52:
    case 56:
        bmp.m_problem =
            notSupported(QStringLiteral("a rare header variant of %1 bytes").arg(headerSize));
        return bmp;
    default:
        bmp.m_problem = FormatCheck::damaged(
            QStringLiteral("its header size, %1 bytes, is not one a BMP file has").arg(headerSize));
        return bmp;
    }
    if (size < FileHeaderSize + headerSize) {
        bmp.m_problem = FormatCheck::truncated();
        return bmp;
    }

    qint64 width = 0;
    qint64 height = 0;
    if (os2v1) {
        width = u16(data, 18);
        height = u16(data, 20);
    } else {
        width = static_cast<qint32>(u32(data, 18));
        height = static_cast<qint32>(u32(data, 22));
    }
    const int planes = u16(data, os2v1 ? 22 : 26);
    const int bits = u16(data, os2v1 ? 24 : 28);
    const quint32 compression = os2v1 ? 0 : u32(data, 30);
    const quint32 colorsUsed = os2v1 ? 0 : u32(data, 46);

    if (planes != 1) {
        bmp.m_problem =
            FormatCheck::damaged(QStringLiteral("its header gives %1 colour planes where there "
                                                "is always 1")
                                     .arg(planes));
        return bmp;
    }
    if (width <= 0 || height == 0 || height == std::numeric_limits<qint32>::min()) {
        bmp.m_problem = FormatCheck::damaged(
            QStringLiteral("its header gives a size of %1 × %2 pixels").arg(width).arg(height));
        return bmp;
    }
    bmp.m_width = static_cast<int>(width);
    bmp.m_height = static_cast<int>(std::abs(height));
    bmp.m_topDown = height < 0;
    bmp.m_bitsPerPixel = bits;

    switch (bits) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    case 0:
        if (compression == 4 || compression == 5) {
            bmp.m_problem = notSupported(compression == 4 ? QStringLiteral("a JPEG picture inside")
                                                          : QStringLiteral("a PNG picture inside"));
            return bmp;
        }
        [[fallthrough]];
    default:
        if (bits == 2 || bits == 64) {
            bmp.m_problem = notSupported(QStringLiteral("%1 bits per pixel").arg(bits));
            return bmp;
        }
        bmp.m_problem = FormatCheck::damaged(
            QStringLiteral("its header gives %1 bits per pixel, which no BMP file has").arg(bits));
        return bmp;
    }

    switch (compression) {
    case 0:
        bmp.m_compression = Compression::None;
        break;
    case 1:
    case 2:
        bmp.m_compression = compression == 1 ? Compression::Rle8 : Compression::Rle4;
        if (bits != (compression == 1 ? 8 : 4)) {
            bmp.m_problem =
                FormatCheck::damaged(QStringLiteral("its compression does not fit its %1 bits "
                                                    "per pixel")
                                         .arg(bits));
            return bmp;
        }
        break;
    case 3:
        if (os2v2) {
            bmp.m_problem = notSupported(QStringLiteral("Huffman compression"));
            return bmp;
        }
        if (bits != 16 && bits != 32) {
            bmp.m_problem =
                FormatCheck::damaged(QStringLiteral("its colour masks do not fit its %1 bits "
                                                    "per pixel")
                                         .arg(bits));
            return bmp;
        }
        bmp.m_compression = Compression::BitFields;
        break;
    case 4:
        bmp.m_problem = notSupported(os2v2 ? QStringLiteral("24-bit run-length compression")
                                           : QStringLiteral("a JPEG picture inside"));
        return bmp;
    case 5:
        bmp.m_problem = notSupported(QStringLiteral("a PNG picture inside"));
        return bmp;
    case 6:
        bmp.m_problem = notSupported(QStringLiteral("colour masks with transparency"));
        return bmp;
    default:
        bmp.m_problem = FormatCheck::damaged(
            QStringLiteral("its header names an unknown compression (%1)").arg(compression));
        return bmp;
    }

    // Colour table: right after the header (and the three colour masks of a 40-byte header).
    const qint64 offset = u32(data, 10);
    qint64 paletteStart = FileHeaderSize + headerSize;
    if (headerSize == 40 && bmp.m_compression == Compression::BitFields)
        paletteStart += 12;
    if (offset < paletteStart) {
        bmp.m_problem =
            FormatCheck::damaged(QStringLiteral("its picture data would start inside its header"));
        return bmp;
    }
    bmp.m_dataOffset = offset;
    if (bits <= 8) {
        const qint64 entrySize = os2v1 ? 3 : 4;
        const quint32 full = 1u << bits;
        const qint64 room = (offset - paletteStart) / entrySize;
        if (os2v1) {
            // The table always has 2^bits entries; some writers store only what they use.
            if (room < full) {
                bmp.m_paletteEnd = offset;
                bmp.m_missingPaletteBytes = (full - room) * entrySize;
            }
        } else if (colorsUsed > full) {
            // More colours than the pixels can name: keep the ones that lie before the pixels.
            bmp.m_colorCountField = 46;
            bmp.m_colorCount = static_cast<quint32>(std::clamp<qint64>(room, 1, full));
        }
    }

    if (bmp.m_compression == Compression::Rle8 || bmp.m_compression == Compression::Rle4) {
        bmp.m_problem = bmp.walkRle(data, nullptr);
        return bmp;
    }
    const qint64 stride = (qint64(bmp.m_width) * bits + 31) / 32 * 4;
    if (offset > size || (size - offset) / stride < bmp.m_height)
        bmp.m_problem = FormatCheck::truncated();
    return bmp;
}

QByteArray BmpFile::repaired(const QByteArray& data) const
{
    if (m_colorCountField < 0 && m_missingPaletteBytes == 0)
        return data;
    QByteArray fixed = data;
    if (m_colorCountField >= 0)
        putU32(fixed, m_colorCountField, m_colorCount);
    if (m_missingPaletteBytes > 0) {
        // Missing OS/2 colour table entries read as black; the pixels move up behind them.
        fixed.insert(m_paletteEnd, QByteArray(m_missingPaletteBytes, '\0'));
        putU32(fixed, 10, static_cast<quint32>(m_dataOffset + m_missingPaletteBytes));
        putU32(fixed, 2, static_cast<quint32>(fixed.size()));
    }
    return fixed;
}

bool BmpFile::decodeRle(const QByteArray& data, QImage& image) const
{
    if (!m_problem.isEmpty() || image.format() != QImage::Format_Indexed8 ||
        image.width() != m_width || image.height() != m_height)
        return false;
    image.fill(0);
    return walkRle(data, &image).isEmpty();
}

QString BmpFile::walkRle(const QByteArray& data, QImage* image) const
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const qint64 end = data.size();
    const bool four = m_compression == Compression::Rle4;
    qint64 at = m_dataOffset;
    qint64 x = 0;
    qint64 y = 0; // rows counted in file order
    const QString outside = FormatCheck::damaged(
        QStringLiteral("its compressed picture data reaches outside the picture"));

    auto line = [&](qint64 row) -> uchar* {
        return image->scanLine(static_cast<int>(m_topDown ? row : m_height - 1 - row));
    };
    auto inside = [&](qint64 count) { return y < m_height && x + count <= m_width; };

    while (true) {
        if (at + 2 > end)
            return y >= m_height ? QString() : FormatCheck::truncated();
        const int count = bytes[at];
        const int code = bytes[at + 1];
        at += 2;
        if (count > 0) {
            // A run: count pixels of one index (two alternating indices in 4-bit data).
            if (!inside(count))
                return outside;
            if (image) {
                uchar* out = line(y) + x;
                for (int i = 0; i < count; ++i)
                    out[i] = four ? uchar((i & 1) ? code & 0x0f : code >> 4) : uchar(code);
            }
            x += count;
        } else if (code == 0) { // end of row
            x = 0;
            ++y;
        } else if (code == 1) { // end of picture
            return {};
        } else if (code == 2) { // skip right and down
            if (at + 2 > end)
                return FormatCheck::truncated();
            x += bytes[at];
            y += bytes[at + 1];
            at += 2;
            if (x > m_width || y > m_height)
                return outside;
        } else { // code literal pixels, padded to a whole number of 16-bit words
            const qint64 length = four ? (code + 1) / 2 : code;
            if (!inside(code))
                return outside;
            if (at + length > end)
                return FormatCheck::truncated();
            if (image) {
                uchar* out = line(y) + x;
                for (int i = 0; i < code; ++i)
                    out[i] =
                        four ? uchar((i & 1) ? bytes[at + i / 2] & 0x0f : bytes[at + i / 2] >> 4)
                             : bytes[at + i];
            }
            x += code;
            at += length + (length & 1);
        }
    }
}

} // namespace kelviq
