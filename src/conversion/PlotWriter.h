#pragma once

#include "NumberText.h"

#include <QString>
#include <array>
#include <memory>
#include <string>

class QIODevice;

namespace kelviq {

// Writes the Allegro IPF plot file: a fixed 19-line header, then one three-line record per
// line segment. ASCII, CR LF line ends. Output is gathered in a large buffer and handed to
// the device in big blocks; after the first failed write every call returns false and
// errorString() says why.
class PlotWriter
{
public:
    explicit PlotWriter(QIODevice* device);
    ~PlotWriter();
    PlotWriter(const PlotWriter&) = delete;
    PlotWriter& operator=(const PlotWriter&) = delete;

    // The header every plot file starts with, CR LF line ends included.
    static const std::string& headerText();

    // Line thickness in plot units, used by the StartSegment calls that follow.
    void setLineWidth(double plotUnits);

    bool WriteHeader();
    // Writes "259", the width line and the start point (without a line end).
    bool StartSegment(double x, double y);
    // Completes the record: a blank, the end point and the line end.
    bool EndSegment(double x, double y);
    // Hands everything buffered to the device.
    bool flush();

    bool failed() const { return m_failed; }
    QString errorString() const { return m_error; }
    qint64 bytesWritten() const { return m_written + static_cast<qint64>(m_used); }

private:
    // Room for what one call adds at most, flushing first when the buffer is full.
    char* reserve(std::size_t length);
    bool flushIfFull();

    QIODevice* m_device;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_used = 0;
    // "259", the width line and their line ends, padded so that a usual one is copied in one
    // fixed-size move.
    std::array<char, 16 + MaxNumberTextLength> m_widthLine{};
    std::size_t m_widthLineLength = 0;
    // Every segment of a row has the same y: its text is made once.
    char* writeY(char* out, double y);
    double m_lastY = 0.0;
    std::array<char, MaxNumberTextLength> m_lastYText{'0'};
    std::size_t m_lastYLength = 1;
    qint64 m_written = 0;
    bool m_failed = false;
    QString m_error;
};

} // namespace kelviq
