#pragma once

#include <QString>
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
    qint64 bytesWritten() const { return m_written + static_cast<qint64>(m_buffer.size()); }

private:
    void append(const char* text, std::size_t length);
    void appendNumber(double v);
    bool flushIfFull();

    QIODevice* m_device;
    std::string m_buffer;
    std::string m_widthLine;
    qint64 m_written = 0;
    bool m_failed = false;
    QString m_error;
};

} // namespace kelviq
