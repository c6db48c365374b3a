#pragma once

#include "plot/ColumnTextCache.h"
#include "plot/SegmentWriter.h"

#include <array>
#include <string>
#include <vector>

namespace kelviq {

// Writes the Allegro IPF plot file: a fixed 19-line header, then one three-line record per
// line segment ("259", the width line, the two points). ASCII, CR LF line ends.
class IpfWriter : public SegmentWriter
{
public:
    explicit IpfWriter(ByteSink& sink);

    // The header every plot file starts with, CR LF line ends included.
    static const std::string& headerText();

    // Why a plot of this geometry, or lines of this width, cannot be written: every number
    // must stay in plain digits, below 10^15 hundredths of a mil. The format table's limits.
    static std::string limitProblem(const PlotGeometry& geometry);
    static std::string widthProblem(double plotUnits);

    void setLineWidth(double plotUnits) override;
    void writeRow(int y, const std::vector<Run>& runs) override;

private:
    void writeHead() override;
    char* writeY(char* out, double y);

    // "259", the width line and their line ends, padded so that a usual one is copied in one
    // fixed-size move.
    std::array<char, 16 + MaxNumberTextLength> m_widthLine{};
    std::size_t m_widthLineLength = 0;
    // Every segment of a row has the same y: its text is made once.
    double m_lastY = 0.0;
    std::array<char, MaxNumberTextLength> m_lastYText{'0'};
    std::size_t m_lastYLength = 1;
    ColumnTextCache m_columnText;
};

} // namespace kelviq
