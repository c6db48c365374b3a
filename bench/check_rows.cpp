// Checks that every picture given reads row by row straight from the file with exactly the
// pixels of the program's picture loader and of Qt's own reader.
//   check_rows FILE...

#include "BmpRowSource.h"
#include "PictureLoader.h"
#include "Raster.h"

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
        const std::shared_ptr<BmpRowSource> source = BmpRowSource::open(path);
        if (!source) {
            std::fprintf(stderr, "%s: not read row by row\n", qPrintable(path));
            return 1;
        }
        const Raster streamed = Raster::fromRows(source);
        {
            const LoadedPicture loaded = PictureLoader::load(path);
            if (!loaded.ok()) {
                std::fprintf(stderr, "%s\n", qPrintable(loaded.error));
                return 1;
            }
            if (!samePixels(streamed, Raster::fromImage(loaded.image), "the picture loader", path))
                return 1;
        }
        QImageReader reader(path);
        if (!samePixels(streamed, Raster::fromImage(reader.read()), "Qt's reader", path))
            return 1;
        ++checked;
    }
    std::printf("Row-by-row reading gives the same pixels as the picture loader and Qt's reader "
                "on all %d bench pictures.\n",
                checked);
    return 0;
}
