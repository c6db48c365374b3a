#pragma once

#include "plot/ColumnTextCache.h"
#include "plot/SegmentWriter.h"
#include "plot/ShapeCutter.h"

#include <string>

namespace kelviq {

// Writes the segments as an SVG drawing: a path of round-capped strokes per line thickness,
// black on a transparent background, in mils with Y flipped so the drawing looks like the
// picture, sized in millimetres. The view box holds the picture's area and the half line
// width that strokes reach beyond it.
//
// Outlines: one black path per shape, the outline and its holes as its subpaths, filled by
// the even-odd rule, no stroke; nothing reaches beyond the picture's area, which is the view
// box. A shape too large for one path's data is cut into bands of rows (ShapeCutter), a path
// each.
class SvgWriter : public SegmentWriter
{
public:
    explicit SvgWriter(ByteSink& sink);

    // Why a plot of this geometry, or lines of this width, cannot be written: the drawing's
    // numbers are the IPF plot's in mils and are kept to the same limit, so that they stay
    // plain digits with room for the margin; a stroke must have a width. The format table's
    // limits.
    static std::string limitProblem(const PlotGeometry& geometry);
    static std::string widthProblem(double plotUnits);

    void setLineWidth(double plotUnits) override;
    void writeRow(int y, const std::vector<Run>& runs) override;
    void writeShape(const Shape& shape) override;

private:
    void writeHead() override;
    void writeTail() override;
    void openPath();
    void closePath();
    void writeContour(const Contour& contour);

    double m_width = 1000.0; // plot units
    std::string m_widthText;
    bool m_pathOpen = false;
    std::int64_t m_pathBytes = 0;
    ColumnTextCache m_x;
    ColumnTextCache m_cornerY;
};

} // namespace kelviq
