#pragma once

#include "picture/PictureDecoder.h"
#include "trace/PixelRows.h"

#include <QString>
#include <functional>
#include <memory>

namespace kelviq {

class PictureStream;

// The rows of a picture decoded as the tracer asks for them, top to bottom, so that converting
// a picture of any size takes only its decoder's memory. Asking for an earlier row (a picked
// pixel before the run) starts the decoding over from the file's start.
class StreamedRows : public PixelRows
{
public:
    // A decoder over its own input, started: its header read.
    struct Source
    {
        std::unique_ptr<PictureStream> input;
        std::unique_ptr<PictureDecoder> decoder;
    };
    // Opens the file anew; a source without a decoder, and the reason, when it cannot.
    using Opener = std::function<Source(QString& problem)>;

    // first is a source open at the first row; rows are mirrored left to right when asked.
    StreamedRows(Opener opener, Source first, bool mirrored);
    ~StreamedRows() override;

    const unsigned char* row(int y) const override;
    std::string readError() const override { return m_error.toStdString(); }

private:
    const unsigned char* failed(const QString& problem) const;
    void mirror(const PictureDecoder::Span& span) const;

    Opener m_opener;
    bool m_mirrored;
    mutable Source m_source;
    mutable int m_y = -1; // the row last read
    mutable const unsigned char* m_row = nullptr;
    mutable std::vector<unsigned char> m_own; // mirrored rows, and zeros after a fault
    mutable QString m_error;
};

} // namespace kelviq
