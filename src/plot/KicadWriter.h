#pragma once

#include "plot/ColumnTextCache.h"
#include "plot/SegmentWriter.h"

#include <string>

namespace kelviq {

// Writes the segments as a KiCad 6 footprint: one line per segment on the front silkscreen,
// in millimetres, the origin at the centre of the picture's area and Y growing downward.
// The reference and value texts are hidden, so it places like any other logo footprint.
class KicadWriter : public SegmentWriter
{
public:
    // name (UTF-8) names the footprint; "logo" when empty.
    KicadWriter(ByteSink& sink, const std::string& name);

    // Why a plot of this geometry, or lines of this width, cannot be written: KiCad clamps
    // lengths beyond 1518.485686 mm and draws a width of 0 at its default width. The format
    // table's limits.
    static std::string limitProblem(const PlotGeometry& geometry);
    static std::string widthProblem(double plotUnits);

    void setLineWidth(double plotUnits) override;
    void writeRow(int y, const std::vector<Run>& runs) override;

private:
    void writeHead() override;
    void writeTail() override;

    std::string m_name;
    std::string m_tail; // "(layer ...) (width ...))" of the current width
    ColumnTextCache m_x;
    double m_centreX = 0.0;
    double m_centreY = 0.0;
};

} // namespace kelviq
