#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kelviq {

// What a Windows or OS/2 bitmap file says about itself, read from its header before any
// pixel is decoded. Qt's reader trusts the header more than it should: it reports success for
// files whose pixel data is cut short or whose compressed rows run astray, leaving pixels
// undefined. Checking here first turns those files into a clear reason, or into a defined
// picture, and refuses absurd sizes before anything is allocated.
class BmpFile
{
public:
    enum class Compression
    {
        None,
        Rle8,
        Rle4,
        BitFields
    };

    // Reads the headers. problem() is empty when the file can be decoded.
    static BmpFile inspect(const QByteArray& data);

    // The reason in words a user understands ("the file is truncated ..."), or empty.
    QString problem() const { return m_problem; }
    int width() const { return m_width; }
    int height() const { return m_height; }
    Compression compression() const { return m_compression; }

    // The file as Qt's reader should see it: a colour table whose stated size does not match
    // the file is given the size the file really holds, so that the pixels land on their
    // colours. Returns the data unchanged when nothing needs repair.
    QByteArray repaired(const QByteArray& data) const;

    // Decodes compressed pixel data into image, which must be the 8-bit palette picture of
    // this file's size that Qt made of it: pixels the data skips get palette entry 0, so the
    // result never depends on memory the decoder left untouched. Returns false (and leaves
    // the reason in problem()) for data that inspect() did not accept.
    bool decodeRle(const QByteArray& data, QImage& image) const;

private:
    // Walks the compressed rows; with an image it also writes the pixels.
    QString walkRle(const QByteArray& data, QImage* image) const;

    QString m_problem;
    int m_width = 0;
    int m_height = 0; // rows, always positive
    bool m_topDown = false;
    int m_bitsPerPixel = 0;
    Compression m_compression = Compression::None;
    qint64 m_dataOffset = 0;
    // Colour table repair: where the entry count is kept, and the count that fits the file.
    qint64 m_colorCountField = -1;
    quint32 m_colorCount = 0;
    // OS/2 bitmaps with a short colour table: bytes of missing entries to insert.
    qint64 m_paletteEnd = 0;
    qint64 m_missingPaletteBytes = 0;
};

} // namespace kelviq
