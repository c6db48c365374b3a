#pragma once

#include "Raster.h"

#include <QFile>
#include <QList>
#include <QRgb>
#include <QString>
#include <memory>
#include <vector>

namespace kelviq {

// Rows of an uncompressed bitmap file read straight from the file as they are needed, so that
// converting a large picture never holds it whole. Takes only the plainest files (1-, 4- and
// 8-bit palette, 24-bit, no compression, all pixel data present), whose pixels are
// exactly what the general loader makes of them; everything else is left to that loader.
class BmpRowSource
{
public:
    // Nothing when the file is not such a bitmap or cannot be opened: the caller then loads
    // it the general way, which also gives the reason for any fault.
    static std::shared_ptr<BmpRowSource> open(const QString& path);

    BmpRowSource(const BmpRowSource&) = delete;
    BmpRowSource& operator=(const BmpRowSource&) = delete;

    int width() const { return m_width; }
    int height() const { return m_height; }
    // Bits (first pixel in the top bit), Indexed (a byte a pixel) or Rgb (QRgb a pixel).
    Raster::Layout layout() const { return m_layout; }
    // The file's colour table (Bits and Indexed).
    const QList<QRgb>& colorTable() const { return m_colorTable; }

    // Row y from the top, in layout(). Valid until the next call. A row the file no longer
    // holds reads as zeros and leaves the reason in errorString().
    const uchar* row(int y) const;
    QString errorString() const { return m_error; }

private:
    BmpRowSource() = default;
    bool readBlock(int fileRow) const;

    mutable QFile m_file;
    int m_width = 0;
    int m_height = 0;
    bool m_topDown = false;
    int m_bitsPerPixel = 0;
    Raster::Layout m_layout = Raster::Layout::Empty;
    QList<QRgb> m_colorTable;
    qint64 m_dataOffset = 0;
    qint64 m_stride = 0;
    int m_blockRows = 1;

    // Rows [m_blockFirst, m_blockFirst + m_blockCount) in file order.
    mutable std::vector<uchar> m_block;
    mutable int m_blockFirst = 0;
    mutable int m_blockCount = 0;
    // The last row turned into layout() (4-bit and 24-bit files).
    mutable std::vector<uchar> m_converted;
    mutable int m_convertedY = -1;
    mutable QString m_error;
};

} // namespace kelviq
