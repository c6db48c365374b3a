#pragma once

#include "trace/PixelRows.h"

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>
#include <QString>
#include <memory>
#include <vector>

namespace kelviq {

class PictureStream;
struct LoadControl;

// Rows of an uncompressed bitmap file read straight from the file as they are needed, so that
// converting a large picture never holds it whole: 1-, 4- and 8-bit palette, 16-, 24- and
// 32-bit pixels, with colour masks too (BmpFile reads the headers). The same files are also
// decoded here into a picture of their own compact form, of any size, from a stream too.
// Channels of fewer than 8 bits are widened by repeating their high bits (31 of 5 bits is
// 255), as every viewer shows them; wider ones keep their high 8 bits.
class BmpRowSource : public PixelRows
{
public:
    // What the headers of such a file say.
    struct Header
    {
        int width = 0;
        int height = 0; // rows, always positive
        bool topDown = false;
        int bitsPerPixel = 0;
        Layout layout = Layout::Empty;
        QList<QRgb> colorTable;
        qint64 dataOffset = 0;
        qint64 stride = 0; // bytes of one row in the file
        // 16- and 32-bit pixels: the bits of red, green, blue and alpha (0: opaque).
        quint32 masks[4] = {0, 0, 0, 0};
        qint64 dataEnd() const { return dataOffset + stride * height; }
    };
    // The headers and colour table end within this many bytes.
    static constexpr qsizetype HeadBytes = 14 + 124 + 1024;

    // A picture's memory, in huge pages where the system has them (touching hundreds of
    // megabytes page by page costs more than reading the file); null when memory runs out.
    static QImage largeImage(int width, int height, QImage::Format format);

    // Rows read from the open file fd (duplicated here) whose headers these are; the caller
    // has made sure the file holds all pixel data.
    static std::shared_ptr<BmpRowSource> open(int fd, const Header& header);

    // Reads the whole picture into image: 1 bit, 1 byte or 4 bytes a pixel. From fd, a file on
    // disk that holds all pixel data, when it is not -1; else from input, which is at the start
    // of the file. Returns the reason it could not, or empty; out of memory, empty with a null
    // image. Reads from fd are counted into control and stop once it is cancelled (input counts
    // and stops by itself).
    static QString decode(PictureStream& input, int fd, const Header& header, QImage& image,
                          LoadControl* control = nullptr);

    ~BmpRowSource() override;

    class RowConverter; // one row of the file in the picture's layout

    // Row y from the top, in layout(). Valid until the next call. A row the file no longer
    // holds reads as zeros and leaves the reason in readError().
    const unsigned char* row(int y) const override;
    std::string readError() const override { return m_error.toStdString(); }

private:
    explicit BmpRowSource(const Header& header);
    bool readBlock(int fileRow) const;

    int m_fd = -1;
    Header m_header;
    int m_blockRows = 1;
    std::unique_ptr<RowConverter> m_converter;

    // Rows [m_blockFirst, m_blockFirst + m_blockCount) in file order.
    mutable std::vector<uchar> m_block;
    mutable int m_blockFirst = 0;
    mutable int m_blockCount = 0;
    // The last row turned into layout() (4-, 16-, 24- and 32-bit files).
    mutable std::vector<uchar> m_converted;
    mutable int m_convertedY = -1;
    mutable QString m_error;
};

} // namespace kelviq
