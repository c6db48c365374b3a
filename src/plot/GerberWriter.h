#pragma once

#include "plot/ColumnTextCache.h"
#include "plot/HoleJoiner.h"
#include "plot/SegmentWriter.h"

#include <map>
#include <string>

namespace kelviq {

// Writes the segments as an RS-274X Gerber file in inches, coordinates in micro-inches (format
// 3.6, leading zeros left off): one circular aperture per line thickness, each segment a move
// to its start and a draw to its end, a zero-length segment a flash.
//
// Outlines: one region (G36 ... G37) per shape, whose contours are the shape's hole-free
// polygons (HoleJoiner): holes joined by cut-ins, parts cut apart at the points where the shape
// touches itself. The region is the union of its contours, as the format defines it.
//
// The file function (Legend, Soldermask or Copper, on the top or the bottom) is written as an
// attribute comment, which readers without attribute support skip, in every file except lines
// on the top silkscreen: those stay as they have always been.
class GerberWriter : public SegmentWriter
{
public:
    explicit GerberWriter(ByteSink& sink);

    // Why a plot of this geometry cannot be written as Gerber (coordinates beyond 999.999999
    // inches), or lines of this width (an aperture of 0 micro-inches, which draws nothing, or
    // one wider than the coordinates reach); empty when they can. The format table's limits.
    static std::string limitProblem(const PlotGeometry& geometry);
    static std::string widthProblem(double plotUnits);
    // The file function attribute's value: "Legend,Top", "Copper,L2,Bot".
    static std::string fileFunction(BoardLayer layer, BoardSide side);

    void setLineWidth(double plotUnits) override;
    void writeRow(int y, const std::vector<Run>& runs) override;
    void writeShape(const Shape& shape) override;

private:
    void writeHead() override;
    void writeTail() override;
    void selectAperture();
    void writeContour(const Contour& contour);

    ColumnTextCache m_x;
    ColumnTextCache m_cornerY;
    HoleJoiner m_joiner;
    std::vector<Contour> m_polygons;
    std::map<std::string, int> m_apertures; // diameter text → D code
    std::string m_diameter;                 // of the current line width
    bool m_apertureSelected = false;
};

} // namespace kelviq
