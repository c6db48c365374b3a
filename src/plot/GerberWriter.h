#pragma once

#include "plot/ColumnTextCache.h"
#include "plot/SegmentWriter.h"

#include <map>
#include <string>

namespace kelviq {

// Writes the segments as an RS-274X Gerber file in inches, coordinates in micro-inches (format
// 3.6, leading zeros left off): one circular aperture per line thickness, each segment a move
// to its start and a draw to its end, a zero-length segment a flash.
class GerberWriter : public SegmentWriter
{
public:
    explicit GerberWriter(ByteSink& sink);

    // Why a plot of this geometry cannot be written as Gerber (coordinates beyond 999.999999
    // inches), or lines of this width (an aperture of 0 micro-inches, which draws nothing, or
    // one wider than the coordinates reach); empty when they can. The format table's limits.
    static std::string limitProblem(const PlotGeometry& geometry);
    static std::string widthProblem(double plotUnits);

    void setLineWidth(double plotUnits) override;
    void writeRow(int y, const std::vector<Run>& runs) override;

private:
    void writeHead() override;
    void writeTail() override;
    void selectAperture();

    ColumnTextCache m_x;
    std::map<std::string, int> m_apertures; // diameter text → D code
    std::string m_diameter;                 // of the current line width
    bool m_apertureSelected = false;
};

} // namespace kelviq
