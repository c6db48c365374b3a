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

QString notSupported(const QString& what)
{
    return QStringLiteral("it is a kind of BMP file this program cannot read (") + what +
           QLatin1Char(')');
}

} // namespace

BmpFile BmpFile::inspect(const QByteArray& data, qint64 fileSize)
{
    BmpFile bmp;
    BmpRowSource::Header& header = bmp.m_header;
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
    header.width = static_cast<int>(width);
    header.height = static_cast<int>(std::abs(height));
    header.topDown = height < 0;
    header.bitsPerPixel = bits;

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
    header.dataOffset = offset;
    header.stride = (qint64(header.width) * bits + 31) / 32 * 4;
    header.layout = bits == 1   ? BmpRowSource::Layout::Bits
                    : bits <= 8 ? BmpRowSource::Layout::Indexed
                                : BmpRowSource::Layout::Rgb;
    if (bits <= 8) {
        const qint64 entrySize = os2v1 ? 3 : 4;
        const quint32 full = 1u << bits;
        const qint64 room = (offset - paletteStart) / entrySize;
        // How many entries the table has: OS/2 tables always 2^bits (some writers store only
        // what they use: the rest is black); others as the header says, and when it says more
        // than the pixels can name, those that lie before the pixels.
        quint32 entries = full;
        quint32 stored = full;
        if (os2v1)
            stored = static_cast<quint32>(std::min<qint64>(room, full));
        else if (colorsUsed > full)
            entries = stored = static_cast<quint32>(std::clamp<qint64>(room, 1, full));
        else if (colorsUsed > 0)
            entries = stored = colorsUsed;
        if (paletteStart + qint64(stored) * entrySize > size) {
            bmp.m_problem = FormatCheck::truncated();
            return bmp;
        }
        for (quint32 i = 0; i < entries; ++i) {
            const qint64 at = paletteStart + qint64(i) * entrySize;
            header.colorTable.append(i < stored ? qRgb(static_cast<uchar>(data[at + 2]),
                                                       static_cast<uchar>(data[at + 1]),
                                                       static_cast<uchar>(data[at]))
                                                : qRgb(0, 0, 0));
        }
    } else if (bits != 24) {
        // Where each channel lies in a pixel: the header's masks, or 5-5-5 and 8-8-8.
        if (bmp.m_compression == Compression::BitFields) {
            for (int i = 0; i < (headerSize >= 108 ? 4 : 3); ++i)
                header.masks[i] = u32(data, FileHeaderSize + 40 + 4 * i);
        } else if (bits == 16) {
            header.masks[0] = 0x7c00;
            header.masks[1] = 0x03e0;
            header.masks[2] = 0x001f;
        } else {
            header.masks[0] = 0xff0000;
            header.masks[1] = 0x00ff00;
            header.masks[2] = 0x0000ff;
        }
    }

    if (bmp.compressed()) {
        if (fileSize >= 0 && size >= fileSize)
            bmp.m_problem = bmp.walkRle(data, nullptr);
        return bmp;
    }
    if (fileSize >= 0 && (offset > fileSize || (fileSize - offset) / header.stride < header.height))
        bmp.m_problem = FormatCheck::truncated();
    return bmp;
}

QImage BmpFile::decodeRle(const QByteArray& data, QString& problem) const
{
    QImage image =
        BmpRowSource::largeImage(m_header.width, m_header.height, QImage::Format_Indexed8);
    if (image.isNull())
        return {}; // out of memory
    image.setColorTable(m_header.colorTable);
    image.fill(0);
    problem = walkRle(data, &image);
    if (!problem.isEmpty())
        return {};
    return image;
}

QString BmpFile::walkRle(const QByteArray& data, QImage* image) const
{
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const qint64 end = data.size();
    const bool four = m_compression == Compression::Rle4;
    const qint64 width = m_header.width;
    const qint64 height = m_header.height;
    // Some writers (ImageMagick) code each row to its padded width, as the uncompressed row
    // would be stored: pixels there are no overrun, and are dropped.
    const qint64 paddedWidth = m_header.stride * 8 / m_header.bitsPerPixel;
    qint64 at = m_header.dataOffset;
    qint64 x = 0;
    qint64 y = 0; // rows counted in file order
    const QString outside = FormatCheck::damaged(
        QStringLiteral("its compressed picture data reaches outside the picture"));

    auto line = [&](qint64 row) -> uchar* {
        return image->scanLine(static_cast<int>(m_header.topDown ? row : height - 1 - row));
    };
    auto inside = [&](qint64 count) { return y < height && x + count <= paddedWidth; };
    // Pixels from x on that lie inside the picture.
    auto shown = [&](qint64 count) {
        return static_cast<int>(std::clamp<qint64>(width - x, 0, count));
    };

    while (true) {
        if (at + 2 > end)
            return y >= height ? QString() : FormatCheck::truncated();
        const int count = bytes[at];
        const int code = bytes[at + 1];
        at += 2;
        if (count > 0) {
            // A run: count pixels of one index (two alternating indices in 4-bit data).
            if (!inside(count))
                return outside;
            if (image) {
                uchar* out = line(y) + x;
                for (int i = 0; i < shown(count); ++i)
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
            if (x > width || y > height)
                return outside;
        } else { // code literal pixels, padded to a whole number of 16-bit words
            const qint64 length = four ? (code + 1) / 2 : code;
            if (!inside(code))
                return outside;
            if (at + length > end)
                return FormatCheck::truncated();
            if (image) {
                uchar* out = line(y) + x;
                for (int i = 0; i < shown(code); ++i)
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
