#pragma once

#include "plot/ByteSink.h"
#include "plot/NumberText.h"
#include "plot/PlotGeometry.h"
#include "plot/PlotStyle.h"
#include "plot/Shape.h"
#include "trace/Run.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kelviq {

// Writes traced segments in one file format into a byte sink. The scan hands over rows of runs
// from the top row down, in the plot's geometry; each format decides how a segment reads.
// Formats that hold filled shapes (the format table says which) take the traced pixels'
// outlines instead when the plot's shape is Outline: one shape at a time, as they complete.
// Output is gathered in a large buffer and handed to the sink in big blocks; after the first
// failed write nothing more is written and errorString() says why.
class SegmentWriter
{
public:
    explicit SegmentWriter(ByteSink& sink);
    virtual ~SegmentWriter();
    SegmentWriter(const SegmentWriter&) = delete;
    SegmentWriter& operator=(const SegmentWriter&) = delete;

    // Writes everything before the first segment or shape. The geometry must outlive the
    // writing; it says the board side and whether lines or outlines are written. The layer is
    // that of formats that name theirs.
    void begin(const PlotGeometry& geometry, BoardLayer layer = BoardLayer::Silkscreen)
    {
        m_geometry = &geometry;
        m_layer = layer;
        writeHead();
    }
    // Line thickness in plot units for the segments that follow.
    virtual void setLineWidth(double plotUnits) = 0;
    // One segment per run of row y.
    virtual void writeRow(int y, const std::vector<Run>& runs) = 0;
    // One filled shape, in outline plots of formats that hold them; others never get one.
    virtual void writeShape(const Shape&) {}
    // Writes everything after the last segment.
    void end() { writeTail(); }

    // Hands everything buffered to the sink.
    bool flush();
    bool failed() const { return m_failed; }
    // Why writing failed (UTF-8).
    std::string errorString() const { return m_error; }
    std::int64_t bytesWritten() const { return m_written + static_cast<std::int64_t>(m_used); }

protected:
    virtual void writeHead() = 0;
    virtual void writeTail() {}
    const PlotGeometry& geometry() const { return *m_geometry; }
    PlotShape shape() const { return m_geometry->shape(); }
    BoardLayer layer() const { return m_layer; }
    // Whether the plot is lines on the top silkscreen, the only plot there used to be: its
    // files stay exactly as they always were.
    bool plainStyle() const
    {
        return shape() == PlotShape::Lines && m_geometry->side() == BoardSide::Top &&
               m_layer == BoardLayer::Silkscreen;
    }

    // Calls visit(corner) for a contour's corners in the order they are written: as traced,
    // or backwards from the same first corner where the plot is mirrored, so that outlines
    // run counter-clockwise and holes clockwise as the plot is seen on either side.
    template <typename Visit> void forEachCorner(const Contour& contour, Visit visit) const
    {
        if (contour.empty())
            return;
        visit(contour.front());
        if (m_geometry->reversesContours()) {
            for (auto it = contour.rbegin(); it + 1 != contour.rend(); ++it)
                visit(*it);
        } else {
            for (auto it = contour.begin() + 1; it != contour.end(); ++it)
                visit(*it);
        }
    }

    // Room for length bytes at the end of the buffer; commit() takes what was put there.
    char* reserve(std::size_t length)
    {
        if (m_used + length <= m_capacity)
            return m_buffer.get() + m_used;
        return reserveAfterFlush(length);
    }
    void commit(char* end) { m_used = static_cast<std::size_t>(end - m_buffer.get()); }
    // Copies text to out (room reserved) and returns the end of the copy.
    static char* put(char* out, std::string_view text)
    {
        std::memcpy(out, text.data(), text.size());
        return out + text.size();
    }
    void append(std::string_view text);
    // Flushes once the buffer holds a block's worth.
    bool flushIfFull() { return m_used >= BlockSize ? flush() : !m_failed; }

    // v with at most the given number of decimals, trailing zeros and a bare point left off,
    // never "-0". Returns the end of the text (at most MaxNumberTextLength characters for
    // values below 10^15).
    static char* formatDecimal(char* out, double v, int decimals);

    // Large enough that the per-write cost vanishes, small enough to stay out of the memory
    // budget.
    static constexpr std::size_t BlockSize = 1 << 20;

private:
    char* reserveAfterFlush(std::size_t length);

    const PlotGeometry* m_geometry = nullptr;
    BoardLayer m_layer = BoardLayer::Silkscreen;
    ByteSink& m_sink;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    std::int64_t m_written = 0;
    bool m_failed = false;
    std::string m_error;
};

} // namespace kelviq
