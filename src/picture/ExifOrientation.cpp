#include "picture/ExifOrientation.h"

#include <QtEndian>

namespace kelviq {

int ExifOrientation::fromTiff(const QByteArray& tiff)
{
    if (tiff.size() < 8)
        return 1;
    const bool little = tiff.startsWith("II*\0");
    if (!little && !tiff.startsWith(QByteArray("MM\0*", 4)))
        return 1;
    const auto* bytes = reinterpret_cast<const uchar*>(tiff.constData());
    auto u16 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint16>(bytes + at)
                      : qFromBigEndian<quint16>(bytes + at);
    };
    auto u32 = [&](qint64 at) {
        return little ? qFromLittleEndian<quint32>(bytes + at)
                      : qFromBigEndian<quint32>(bytes + at);
    };
    // The first directory: a count, then entries of 12 bytes (tag, type, count, value).
    const qint64 directory = u32(4);
    if (directory < 8 || directory + 2 > tiff.size())
        return 1;
    const int entries = u16(directory);
    for (int i = 0; i < entries; ++i) {
        const qint64 entry = directory + 2 + 12 * qint64(i);
        if (entry + 12 > tiff.size())
            return 1;
        if (u16(entry) != 274)
            continue;
        // A SHORT, one of them, held in the entry itself.
        if (u16(entry + 2) != 3 || u32(entry + 4) != 1)
            return 1;
        const int value = u16(entry + 8);
        return value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

void ExifOrientation::place(int orientation, int width, int height, int& x, int& y)
{
    const int sx = x;
    const int sy = y;
    switch (orientation) {
    case 2: // mirrored left to right
        x = width - 1 - sx;
        break;
    case 3: // turned half round
        x = width - 1 - sx;
        y = height - 1 - sy;
        break;
    case 4: // mirrored top to bottom
        y = height - 1 - sy;
        break;
    case 5: // mirrored along the diagonal from the top left
        x = sy;
        y = sx;
        break;
    case 6: // stored turned a quarter anticlockwise: shown turned a quarter clockwise
        x = height - 1 - sy;
        y = sx;
        break;
    case 7: // mirrored along the other diagonal
        x = height - 1 - sy;
        y = width - 1 - sx;
        break;
    case 8: // shown turned a quarter anticlockwise
        x = sy;
        y = width - 1 - sx;
        break;
    default:
        break;
    }
}

void ExifOrientation::stored(int orientation, int width, int height, int& x, int& y)
{
    // The shown picture's size; each turn undoes the one place() makes.
    const bool swapped = swapsSides(orientation);
    const int shownWidth = swapped ? height : width;
    const int shownHeight = swapped ? width : height;
    switch (orientation) {
    case 6:
        place(8, shownWidth, shownHeight, x, y);
        break;
    case 8:
        place(6, shownWidth, shownHeight, x, y);
        break;
    default: // the others are their own reverse
        place(orientation, shownWidth, shownHeight, x, y);
        break;
    }
}

} // namespace kelviq
