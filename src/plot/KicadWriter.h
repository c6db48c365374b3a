#pragma once

#include "plot/ColumnTextCache.h"
#include "plot/HoleJoiner.h"
#include "plot/SegmentWriter.h"

#include <string>

namespace kelviq {

// Writes the segments as a KiCad 6 footprint: one line per segment on the chosen layer (the
// front silkscreen unless told otherwise, B.* on the bottom side), in millimetres, the origin
// at the centre of the picture's area and Y growing downward. The reference and value texts
// are hidden, so it places like any other logo footprint.
//
// Outlines: KiCad 6 polygons hold no holes, so each shape becomes its hole-free polygons
// (HoleJoiner), one solid filled polygon of no line width each.
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
    // The layer's name: "F.SilkS", "B.Mask", "F.Cu".
    static std::string layerName(BoardLayer layer, BoardSide side);

    void setLineWidth(double plotUnits) override;
    void writeRow(int y, const std::vector<Run>& runs) override;
    void writeShape(const Shape& shape) override;

private:
    void writeHead() override;
    void writeTail() override;
    void makeTail();

    std::string m_name;
    std::string m_layerName = "F.SilkS";
    double m_width = 1000.0;
    std::string m_tail; // "(layer ...) (width ...))" of the current width
    std::string m_polygonTail;
    ColumnTextCache m_x;
    ColumnTextCache m_cornerY;
    HoleJoiner m_joiner;
    std::vector<Contour> m_polygons;
    double m_centreX = 0.0;
    double m_centreY = 0.0;
};

} // namespace kelviq
