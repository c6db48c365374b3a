#pragma once

#include <QByteArray>
#include <QString>
#include <sys/types.h>

namespace kelviq {

struct LoadControl;

// A picture file or stream, read once from its start. Pipes and terminals cannot be read
// twice, so what the format checks look at first stays buffered for the decoder, and the
// bytes a strict decoder reads can be kept for Qt's reader afterwards (keep mode, the
// default). Keeping stops at a cap, so that no input makes the buffer grow without end.
class PictureStream
{
public:
    // Reads from fd, which stays the caller's. A positional stream reads the file from its start
    // with pread(), whatever the descriptor's own offset, so that several readers can share one
    // descriptor and each start over.
    explicit PictureStream(int fd, bool positional = false) : m_fd(fd), m_positional(positional) {}
    // A picture already in memory.
    explicit PictureStream(const QByteArray& data) : m_data(data), m_ended(true) {}

    PictureStream(const PictureStream&) = delete;
    PictureStream& operator=(const PictureStream&) = delete;

    // The first n bytes of the input (fewer if it is shorter). Only before anything was
    // consumed.
    QByteArray head(qsizetype n);
    // The same without the copy: reads until n bytes are kept (see kept()), or the end.
    void fillTo(qsizetype n);
    // Copies up to n bytes to out and consumes them; fewer only at the end or on an error.
    qsizetype read(char* out, qsizetype n);
    // Consumes n bytes without looking at them; false if the input ends first.
    bool skip(qint64 n);

    // In keep mode: every byte read so far, from the start, also those not yet consumed.
    const QByteArray& kept() const { return m_data; }
    // Bytes a kept input may hold; beyond them reading stops and capExceeded() says so.
    void setCap(qint64 bytes) { m_cap = bytes; }
    bool capExceeded() const { return m_capExceeded; }
    // From now on consumed bytes are dropped (for decoders that need nothing twice).
    void stopKeeping();
    // Reads everything up to the end or the cap.
    void readAll();

    // The system's reason when reading failed; empty when the input merely ended.
    QString errorString() const { return m_error; }

    // Counts the bytes read from the file into control and ends the input early once it is
    // cancelled, so that any check or decoder reading it stops.
    void setControl(LoadControl* control) { m_control = control; }

private:
    // Reads more from the file into the buffer; false at the end, on an error or the cap.
    bool fill(qsizetype wanted);
    // A read from the file, counted; -1 with errno set on an error.
    ssize_t readFile(char* out, qsizetype n);
    bool cancelled() const;

    int m_fd = -1;
    bool m_positional = false;
    qint64 m_fileOffset = 0; // of a positional stream: where its next read starts
    QByteArray m_data;
    qsizetype m_pos = 0; // consumed bytes of m_data
    bool m_keep = true;
    bool m_ended = false;
    bool m_capExceeded = false;
    qint64 m_cap = qint64(1) << 62;
    qsizetype m_chunk = 64 << 10; // the next read's size
    QString m_error;
    LoadControl* m_control = nullptr;
};

} // namespace kelviq
