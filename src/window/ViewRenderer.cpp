#include "window/ViewRenderer.h"

#include "picture/RgbColor.h"
#include "trace/RunFinder.h"
#include "window/MaskRow.h"

#include <algorithm>
#include <cmath>
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

// First picture column (or row) of each device column (row) of the visible part, and one past
// the last, clamped to the picture.
std::vector<int> blockStarts(int devicePixels, int offset, const ViewState& state, int limit)
{
    std::vector<int> starts(static_cast<std::size_t>(devicePixels) + 1);
    for (int i = 0; i <= devicePixels; ++i) {
        const double shown = i / state.devicePixelRatio + offset;
        starts[static_cast<std::size_t>(i)] =
            std::clamp(ViewRenderer::picturePosition(shown, state.zoom), 0, limit);
    }
    return starts;
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
    else if (state.mode == ViewMode::Outline)
        renderOutline(picture, mask, state, image);
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
        // Enlarged, a picture row or column covers several device rows or columns: each
        // picture pixel is looked up once and copied.
        if (j > 0 && y == rows[static_cast<std::size_t>(j) - 1]) {
            std::copy_n(reinterpret_cast<const QRgb*>(image.constScanLine(j - 1)), image.width(),
                        out);
            continue;
        }
        if (y < 0) {
            std::fill_n(out, image.width(), state.background);
            continue;
        }
        for (int i = 0; i < image.width(); ++i) {
            const int x = columns[static_cast<std::size_t>(i)];
            if (x < 0) {
                out[i] = state.background;
                continue;
            }
            if (i > 0 && x == columns[static_cast<std::size_t>(i) - 1]) {
                out[i] = out[i - 1];
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

// The filled shapes, dark on white. Enlarged, each device pixel shows the pixel square a click
// on it picks; reduced, a device pixel is ink where any of the pixels it stands for is filled,
// so thin parts of the shapes stay in sight.
void ViewRenderer::renderOutline(const Raster& picture, const Raster& filled,
                                 const ViewState& state, QImage& image)
{
    image.fill(PlotPaper);
    if (filled.width() != picture.width() || filled.height() != picture.height() ||
        filled.layout() != Raster::Layout::Bits || filled.paletteColor(1) != Traced)
        return;
    if (state.zoom * state.devicePixelRatio < 1.0) {
        renderReducedPlot(filled, state, 0.0, image);
        return;
    }
    const std::vector<int> columns = pictureIndices(
        image.width(), state.offset.x(), state.windowPosition.x(), state, filled.width());
    const std::vector<int> rows = pictureIndices(image.height(), state.offset.y(),
                                                 state.windowPosition.y(), state, filled.height());
    for (int j = 0; j < image.height(); ++j) {
        const int y = rows[static_cast<std::size_t>(j)];
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(j));
        if (j > 0 && y == rows[static_cast<std::size_t>(j) - 1]) {
            std::copy_n(reinterpret_cast<const QRgb*>(image.constScanLine(j - 1)), image.width(),
                        out);
            continue;
        }
        if (y < 0)
            continue;
        const uchar* line = filled.row(y);
        for (int i = 0; i < image.width(); ++i) {
            const int x = columns[static_cast<std::size_t>(i)];
            if (x >= 0 && MaskRow::bitAt(line, x))
                out[i] = PlotInk;
        }
    }
}

// Every segment is a line of the set thickness with round ends, drawn where its row lies in
// the picture: a pixel row's line runs through the middle of the row, from its first pixel's
// left edge, as long as the segment. Only the traced pixels within reach of the visible part
// are read, so the cost follows the window's size and the zoom, not the picture's size.
void ViewRenderer::renderPlot(const Raster& picture, const Raster& mask, const ViewState& state,
                              QImage& image)
{
    image.fill(PlotPaper);
    if (!(state.pixelMils > 0.0) || !(state.thicknessMils >= 0.0) ||
        mask.width() != picture.width() || mask.height() != picture.height() ||
        mask.layout() != Raster::Layout::Bits || mask.paletteColor(1) != Traced ||
        !std::isfinite(state.pixelMils * state.thicknessMils))
        return;
    const double devicePerPixel = state.zoom * state.devicePixelRatio;
    // Half the thickness in picture pixels; at least half a device pixel, so thin lines show.
    const double half =
        std::max(state.thicknessMils / (2.0 * state.pixelMils), 0.5 / devicePerPixel);
    if (devicePerPixel >= 1.0)
        renderEnlargedPlot(mask, state, half, image);
    else
        renderReducedPlot(mask, state, half * devicePerPixel, image);
}

// A device pixel is ink when its centre lies within half the thickness of a segment.
void ViewRenderer::renderEnlargedPlot(const Raster& mask, const ViewState& state, double half,
                                      QImage& image)
{
    const double ratio = state.devicePixelRatio;
    const int columns = mask.width();
    // Picture position of a device column's centre, and the device column a position is in.
    const auto centreOf = [&](int i) {
        return ((i + 0.5) / ratio + state.offset.x()) / state.zoom;
    };
    const auto deviceColumn = [&](double x) {
        return (x * state.zoom - state.offset.x()) * ratio - 0.5;
    };
    const double leftEdge = centreOf(0);
    const double rightEdge = centreOf(image.width() - 1);
    // The runs of the rows within reach of the current device row, cut to the columns within
    // reach of the visible part (a cut end lies out of sight); each row is read once.
    const int from = std::max(0, static_cast<int>(std::floor(leftEdge - half)) - 1);
    const int to = std::min(columns, static_cast<int>(std::ceil(rightEdge + half)) + 1);
    const auto rowsInReach = static_cast<std::size_t>(std::ceil(2.0 * half)) + 2;
    std::vector<std::vector<Run>> runsOf(rowsInReach);
    std::vector<int> rowOf(rowsInReach, -1);
    for (int j = 0; j < image.height(); ++j) {
        const double at = ((j + 0.5) / ratio + state.offset.y()) / state.zoom;
        const int first = std::max(0, static_cast<int>(std::ceil(at - half - 0.5)));
        const int last = std::min(mask.height() - 1, static_cast<int>(std::floor(at + half - 0.5)));
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(j));
        for (int y = first; y <= last; ++y) {
            const std::size_t slot = static_cast<std::size_t>(y) % rowsInReach;
            if (rowOf[slot] != y) {
                MaskRow::runs(mask.row(y), from, to, runsOf[slot]);
                rowOf[slot] = y;
            }
            const double dy = at - (y + 0.5);
            const double reach = std::sqrt(std::max(0.0, half * half - dy * dy));
            // Runs closer than the line's reach make one band.
            const auto fillBand = [&](double begin, double end) {
                const int from =
                    std::max(0, static_cast<int>(std::ceil(deviceColumn(begin - reach))));
                const int stop = std::min(image.width() - 1,
                                          static_cast<int>(std::floor(deviceColumn(end + reach))));
                if (from <= stop)
                    std::fill(out + from, out + stop + 1, PlotInk);
            };
            const std::vector<Run>& runs = runsOf[slot];
            for (std::size_t r = 0; r < runs.size();) {
                const int begin = runs[r].begin;
                int end = runs[r].end;
                while (++r < runs.size() && runs[r].begin - end <= 2.0 * reach)
                    end = runs[r].end;
                // A run reaching the right edge ends on the last column.
                fillBand(begin, end >= columns ? columns - 1 : end);
            }
        }
    }
}

// Every device pixel stands for a block of picture pixels. A block holding a traced pixel is
// ink, and so is every device pixel within half the thickness of one; where in its block a
// pixel lies and the exact shape of the round ends are finer than a device pixel.
void ViewRenderer::renderReducedPlot(const Raster& mask, const ViewState& state, double half,
                                     QImage& image)
{
    const int width = image.width();
    const int height = image.height();
    const double ratio = state.devicePixelRatio;
    const std::vector<int> columns = blockStarts(width, state.offset.x(), state, mask.width());
    const std::vector<int> rows = blockStarts(height, state.offset.y(), state, mask.height());
    // Device columns standing for picture columns: the others lie beyond the picture.
    int inPicture = 0;
    for (std::size_t i = 0; i + 1 < columns.size(); ++i)
        inPicture += columns[i] < columns[i + 1];
    // The block column x lies in: where its centre is shown, give or take one.
    const auto blockOf = [&](int x) {
        auto i = static_cast<std::size_t>(std::clamp(
            static_cast<int>(((x + 0.5) * state.zoom - state.offset.x()) * ratio), 0, width - 1));
        while (i > 0 && columns[i] > x)
            --i;
        while (columns[i + 1] <= x)
            ++i;
        return i;
    };
    std::vector<uchar> traced(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
    const auto blockRow = [&](int j) {
        return traced.data() + static_cast<std::size_t>(j) * static_cast<std::size_t>(width);
    };
    // How many blocks of each device row hold a traced pixel.
    std::vector<int> found(static_cast<std::size_t>(height));
    for (int j = 0; j < height; ++j) {
        uchar* blocks = blockRow(j);
        int& count = found[static_cast<std::size_t>(j)];
        for (int y = rows[static_cast<std::size_t>(j)];
             y < rows[static_cast<std::size_t>(j) + 1] && count < inPicture; ++y) {
            const uchar* line = mask.row(y);
            const int end = columns.back();
            int x = columns.front();
            while ((x = MaskRow::nextBit(line, x, end, true)) < end) {
                // The blocks of a run are traced; the search goes on after its last block.
                const int runEnd = MaskRow::nextBit(line, x, end, false);
                const std::size_t firstBlock = blockOf(x);
                const std::size_t lastBlock = blockOf(runEnd - 1);
                for (std::size_t i = firstBlock; i <= lastBlock; ++i) {
                    count += blocks[i] == 0;
                    blocks[i] = 1;
                }
                x = columns[lastBlock + 1];
            }
        }
    }

    // Device pixels within half the thickness of a traced block, row by row of the disc.
    const int radius = static_cast<int>(std::floor(half));
    for (int j = 0; j < height; ++j) {
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(j));
        for (int dj = -radius; dj <= radius; ++dj) {
            if (j + dj < 0 || j + dj >= height || found[static_cast<std::size_t>(j + dj)] == 0)
                continue;
            const uchar* blocks = blockRow(j + dj);
            const int reach = static_cast<int>(std::floor(std::sqrt(half * half - dj * dj)));
            // Traced blocks within reach of column i, counted in a sliding window.
            int count = 0;
            for (int i = 0; i < reach && i < width; ++i)
                count += blocks[i];
            for (int i = 0; i < width; ++i) {
                if (i + reach < width)
                    count += blocks[i + reach];
                if (i - reach - 1 >= 0)
                    count -= blocks[i - reach - 1];
                if (count > 0)
                    out[i] = PlotInk;
            }
        }
    }
}

} // namespace kelviq
