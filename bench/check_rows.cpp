// Checks that every picture given loads with exactly the pixels of Qt's own reader, both as
// the converter streams it (plain bitmaps row by row from the file) and as the window
// decodes it.
//   check_rows FILE...

#include "picture/ImageRows.h"
#include "picture/PictureLoader.h"
#include "trace/Raster.h"

#include <QCoreApplication>
#include <QImageReader>
#include <cstdio>

using namespace kelviq;

namespace {

// The first pixel where the two differ, or nothing.
bool samePixels(const Raster& a, const Raster& b, const char* what, const QString& path)
{
    if (a.width() != b.width() || a.height() != b.height() || a.layout() != b.layout()) {
        std::fprintf(stderr, "%s: size or layout differs from %s\n", qPrintable(path), what);
        return false;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.point(x, y) != b.point(x, y)) {
                std::fprintf(stderr, "%s: pixel %d,%d differs from %s\n", qPrintable(path), x, y,
                             what);
                return false;
            }
        }
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QImageReader::setAllocationLimit(0);
    int checked = 0;
    for (const QString& path : QCoreApplication::arguments().mid(1)) {
        const LoadResult streamed = PictureLoader::load(path, LoadMode::Stream);
        const LoadResult decoded = PictureLoader::load(path, LoadMode::Decode);
        if (!streamed.ok() || !decoded.ok()) {
            std::fprintf(stderr, "%s\n", qPrintable(streamed.error + decoded.error));
            return 1;
        }
        QImageReader reader(path);
        reader.setAutoTransform(false);
        if (!samePixels(streamed.raster, decoded.raster, "the window's picture", path) ||
            !samePixels(decoded.raster, rasterFromImage(reader.read()), "Qt's reader", path))
            return 1;
        ++checked;
    }
    std::printf("The converter's and the window's loading give the pixels of Qt's reader on all "
                "%d bench pictures.\n",
                checked);
    return 0;
}
