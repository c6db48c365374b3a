#include "ViewRenderer.h"

#include "PlotGeometry.h"
#include "RunFinder.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <vector>

namespace kelviq {

namespace {

constexpr QRgb PlotPaper = 0xffffffff;
constexpr QRgb PlotInk = 0xff202020;
constexpr ColorValue Traced = 0; // black in the mask

// Picture column or row shown by each device pixel, -1 beyond the picture: the one a click on
// that device pixel picks, so what is shown is what is picked also where a window pixel covers
// several device pixels.
std::vector<int> pictureIndices(int devicePixels, int offset, int windowPosition,
                                const ViewState& state, int limit)
{
    const double ratio = state.devicePixelRatio;
    // The device pixel the visible part starts on, counted from the window's edge.
    const double start = std::floor(windowPosition * ratio + 0.5);
    std::vector<int> indices(static_cast<std::size_t>(devicePixels));
    for (int i = 0; i < devicePixels; ++i) {
        const double at = state.pointerRounded
                              ? std::floor((start + i) / ratio + 0.5) - windowPosition
                              : i / ratio;
        const double shown = at + offset;
        const int index = ViewRenderer::picturePosition(shown, state.zoom);
        indices[static_cast<std::size_t>(i)] = index < limit ? index : -1;
    }
    return indices;
}

} // namespace

int ViewRenderer::picturePosition(double shown, double zoom)
{
    return static_cast<int>(std::floor(shown / zoom));
}

QRgb ViewRenderer::washedOut(QRgb color)
{
    return qRgb((qRed(color) + 255) / 2, (qGreen(color) + 255) / 2, (qBlue(color) + 255) / 2);
}

QRgb ViewRenderer::highlightFor(ColorValue picked)
{
    const QRgb candidates[] = {qRgb(255, 0, 255), qRgb(0, 200, 0)};
    const QRgb target = rgbFromColorValue(picked);
    const auto distance = [target](QRgb c) {
        return std::abs(qRed(c) - qRed(target)) + std::abs(qGreen(c) - qGreen(target)) +
               std::abs(qBlue(c) - qBlue(target));
    };
    return distance(candidates[0]) >= distance(candidates[1]) ? candidates[0] : candidates[1];
}

QImage ViewRenderer::render(const Raster& picture, const Raster& mask, const ViewState& state)
{
    const QSize device(static_cast<int>(std::ceil(state.size.width() * state.devicePixelRatio)),
                       static_cast<int>(std::ceil(state.size.height() * state.devicePixelRatio)));
    QImage image(device, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.setDevicePixelRatio(state.devicePixelRatio);
    if (state.mode == ViewMode::Plot)
        renderPlot(picture, mask, state, image);
    else
        renderPixels(picture, mask, state, image);
    return image;
}

void ViewRenderer::renderPixels(const Raster& picture, const Raster& mask, const ViewState& state,
                                QImage& image)
{
    const std::vector<int> columns = pictureIndices(
        image.width(), state.offset.x(), state.windowPosition.x(), state, picture.width());
    const std::vector<int> rows = pictureIndices(image.height(), state.offset.y(),
                                                 state.windowPosition.y(), state, picture.height());
    const bool traced = state.mode == ViewMode::TracedPixels;
    const bool masked =
        traced && mask.width() == picture.width() && mask.height() == picture.height();
    for (int j = 0; j < image.height(); ++j) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(j));
        const int y = rows[static_cast<std::size_t>(j)];
        for (int i = 0; i < image.width(); ++i) {
            const int x = columns[static_cast<std::size_t>(i)];
            if (x < 0 || y < 0) {
                out[i] = state.background;
                continue;
            }
            const QRgb color = rgbFromColorValue(picture.point(x, y));
            if (!traced)
                out[i] = color;
            else if (masked && mask.point(x, y) == Traced)
                out[i] = state.highlight;
            else
                out[i] = washedOut(color);
        }
    }
}

// Every segment is a line of the set thickness with round ends, drawn where its row lies in
// the picture: a pixel row's line runs through the middle of the row, from its first pixel's
// left edge, as long as the segment. A device pixel is ink when its centre lies within half
// the thickness of a segment.
void ViewRenderer::renderPlot(const Raster& picture, const Raster& mask, const ViewState& state,
                              QImage& image)
{
    image.fill(PlotPaper);
    if (!(state.pixelMils > 0.0) || !(state.thicknessMils >= 0.0) ||
        mask.width() != picture.width() || mask.height() != picture.height() || mask.isNull() ||
        !std::isfinite(state.pixelMils * state.thicknessMils))
        return;
    const double devicePerPixel = state.zoom * state.devicePixelRatio;
    // Half the thickness in picture pixels; at least half a device pixel, so thin lines show.
    const double half =
        std::max(state.thicknessMils / (2.0 * state.pixelMils), 0.5 / devicePerPixel);
    const double plotUnitsPerPixel = state.pixelMils * 100.0;
    const PlotGeometry geometry(picture.width(), picture.height(), state.pixelMils);
    const RunFinder finder(mask, Traced);
    std::vector<Run> runs;
    // Segments of the rows near the current device row, in picture pixels.
    struct Span
    {
        double begin;
        double end;
    };
    std::map<int, std::vector<Span>> rowSpans;
    const auto spansOf = [&](int y) -> const std::vector<Span>& {
        auto found = rowSpans.find(y);
        if (found != rowSpans.end())
            return found->second;
        finder.findRuns(y, runs);
        std::vector<Span> spans;
        spans.reserve(runs.size());
        for (const Run& run : runs) {
            const Segment segment = geometry.segment(y, run);
            spans.push_back({segment.x1 / plotUnitsPerPixel, segment.x2 / plotUnitsPerPixel});
        }
        return rowSpans.emplace(y, std::move(spans)).first->second;
    };

    const double leftEdge = state.offset.x() / state.zoom;
    const double rightEdge = leftEdge + image.width() / devicePerPixel;
    for (int j = 0; j < image.height(); ++j) {
        const double at = ((j + 0.5) / state.devicePixelRatio + state.offset.y()) / state.zoom;
        const int first = std::max(0, static_cast<int>(std::ceil(at - half - 0.5)));
        const int last =
            std::min(picture.height() - 1, static_cast<int>(std::floor(at + half - 0.5)));
        rowSpans.erase(rowSpans.begin(), rowSpans.lower_bound(first));
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(j));
        for (int y = first; y <= last; ++y) {
            const double dy = at - (y + 0.5);
            const double reach = std::sqrt(std::max(0.0, half * half - dy * dy));
            const std::vector<Span>& spans = spansOf(y);
            // Spans are in order and apart: skip those that end left of the visible part.
            auto span = std::lower_bound(spans.begin(), spans.end(), leftEdge - reach,
                                         [](const Span& s, double x) { return s.end < x; });
            for (; span != spans.end() && span->begin - reach <= rightEdge; ++span) {
                const double from = ((span->begin - reach) * state.zoom - state.offset.x()) *
                                        state.devicePixelRatio -
                                    0.5;
                const double to =
                    ((span->end + reach) * state.zoom - state.offset.x()) * state.devicePixelRatio -
                    0.5;
                const int begin = std::max(0, static_cast<int>(std::ceil(from)));
                const int end = std::min(image.width() - 1, static_cast<int>(std::floor(to)));
                for (int i = begin; i <= end; ++i)
                    out[i] = PlotInk;
            }
        }
    }
}

} // namespace kelviq
