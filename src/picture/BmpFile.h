#pragma once

#include "picture/BmpRowSource.h"

#include <QByteArray>
#include <QImage>
#include <QString>

namespace kelviq {

// What a Windows or OS/2 bitmap file says about itself, read from its headers before any pixel
// is decoded: a clear reason for every file that cannot be read (cut short, compressed rows
// running astray, kinds no one reads), the layout of the rows of every other one for
// BmpRowSource, and the decoding of run-length compressed files. Odd files are read the way
// they have always been read: colour tables shorter or longer than the file says as far as the
// file really holds them, pixels that compressed data skips in the table's first colour.
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

    // Reads the headers from the file's first bytes (BmpRowSource::HeadBytes, or all of a
    // shorter file); fileSize is the whole file's, or -1 when it is not known yet (a stream).
    // problem() is empty when the file can be decoded. A compressed file's data is walked
    // when head holds the whole file.
    static BmpFile inspect(const QByteArray& head, qint64 fileSize);

    // The reason in words a user understands ("the file is truncated ..."), or empty.
    QString problem() const { return m_problem; }
    bool compressed() const
    {
        return m_compression == Compression::Rle8 || m_compression == Compression::Rle4;
    }
    // The rows as the file stores them (for compressed files: their colours and size).
    const BmpRowSource::Header& header() const { return m_header; }

    // Decodes the compressed pixel data of the whole file data into a picture of a byte a
    // pixel, with the file's colours; pixels the data skips get palette entry 0. A null
    // picture and the reason when the data is damaged; without a reason when memory ran out.
    QImage decodeRle(const QByteArray& data, QString& problem) const;

private:
    // Walks the compressed rows; with an image it also writes the pixels.
    QString walkRle(const QByteArray& data, QImage* image) const;

    QString m_problem;
    Compression m_compression = Compression::None;
    BmpRowSource::Header m_header;
};

} // namespace kelviq
