// Fuzzes the road from picture bytes to plot text, for every format the loader takes: load with
// the same checks as a picture file (streamed and decoded, which must agree), find the runs of the
// colour of the top-left pixel row by row (checked against the slow reference reading), and write
// the plot into memory. The plot must then read back as the header followed by exactly one
// well-formed record per run.
#include "picture/BmpFile.h"
#include "picture/FormatCheck.h"
#include "picture/PictureLoader.h"
#include "plot/IpfWriter.h"
#include "plot/MemorySink.h"
#include "plot/NumberText.h"
#include "trace/Raster.h"
#include "trace/RunFinder.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QList>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace kelviq;

namespace {

// Pictures above this are skipped: they only slow the fuzzer down, and the size checks they
// would reach are the loader's first step.
constexpr qint64 MaxPixels = qint64(1) << 22;

[[noreturn]] void fail(const char* what)
{
    std::fprintf(stderr, "fuzz_picture: %s\n", what);
    std::abort();
}

// Only the size: the loader's own checks on everything else are what is fuzzed.
bool claimsTooMuch(const QByteArray& data)
{
    const FormatCheck::Format format = FormatCheck::sniff(data);
    if (format == FormatCheck::Format::Bmp) {
        const BmpFile bmp = BmpFile::inspect(data, data.size());
        if (qint64(bmp.width()) * bmp.height() > MaxPixels)
            return true;
    }
    if (format == FormatCheck::Format::Jpeg || format == FormatCheck::Format::Ico) {
        QByteArray copy = data;
        QBuffer buffer(&copy);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        return size.isValid() && qint64(size.width()) * std::abs(size.height()) > MaxPixels;
    }
    FormatCheck::Claim claim = FormatCheck::claim(format, data);
    return FormatCheck::beyondReach(claim) || claim.width * claim.height > MaxPixels;
}

// The converter reads plain bitmap files row by row straight from the file; whatever it takes
// must show exactly the pixels of the window's decoded picture of the same bytes.
void checkStreaming(const QByteArray& data, const LoadResult& decoded)
{
    static const QString path = QStringLiteral("/dev/shm/kelviq-fuzz-%1").arg(getpid());
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            return;
    }
    const LoadResult streamed = PictureLoader::load(path, LoadMode::Stream);
    if (streamed.ok() != decoded.ok())
        fail("streamed and decoded loads disagree");
    if (!streamed.ok())
        return;
    const Raster& raster = decoded.raster;
    if (streamed.raster.width() != raster.width() || streamed.raster.height() != raster.height())
        fail("streaming gives another size");
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            if (streamed.raster.point(x, y) != raster.point(x, y))
                fail("streaming gives other pixels");
    if (!streamed.raster.readError().empty())
        fail("streaming failed on a whole file");
}

// The runs of row y through one point() per pixel: slow, the reference the fast paths are
// checked against.
void runsByPoint(const RunFinder& finder, const Raster& raster, int y, std::vector<Run>& runs)
{
    runs.clear();
    int begin = -1;
    for (int x = 0; x < raster.width(); ++x) {
        const bool match = finder.selects(raster.point(x, y));
        if (match && begin < 0)
            begin = x;
        else if (!match && begin >= 0) {
            runs.push_back({begin, x});
            begin = -1;
        }
    }
    if (begin >= 0)
        runs.push_back({begin, raster.width()});
}

void checkPlot(const QByteArray& plot, qint64 runs)
{
    const QByteArray header = QByteArray::fromStdString(IpfWriter::headerText());
    if (!plot.startsWith(header))
        fail("plot does not start with the header");
    const QList<QByteArray> lines = plot.mid(header.size()).split('\n');
    if (!lines.isEmpty() && !lines.last().isEmpty())
        fail("plot does not end with a line end");
    const qsizetype count = lines.size() - 1;
    if (count != runs * 3)
        fail("plot does not hold one record per run");
    for (qsizetype i = 0; i < count; ++i) {
        if (!lines[i].endsWith('\r'))
            fail("line without CR LF");
        const QList<QByteArray> fields = lines[i].chopped(1).split(' ');
        const qsizetype expected = i % 3 == 0 ? 1 : i % 3 == 1 ? 2 : 4;
        if (fields.size() != expected)
            fail("record line with the wrong number of fields");
        for (const QByteArray& field : fields)
            if (!parseNumber(field.toStdString()))
                fail("record field is not a number");
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Image format plugins are found through the application object.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    if (claimsTooMuch(bytes))
        return -1;
    const LoadResult loaded = PictureLoader::loadFromData(bytes, QStringLiteral("input"));
    checkStreaming(bytes, loaded);
    if (!loaded.ok()) {
        if (!loaded.error.startsWith(QStringLiteral("Cannot read the picture input: ")))
            fail("message does not name the file");
        return 0;
    }
    const Raster& raster = loaded.raster;
    if (raster.isNull())
        fail("success without a picture");

    // The input's size varies the selection too: exact, within a tolerance, inverted.
    const TraceSettings settings{raster.point(0, 0), size % 4 == 0 ? 0 : int(size % 97),
                                 size % 3 == 0, 0};
    const double scale = size % 2 ? 0.1 : 2.0;
    const RunFinder finder(raster, settings);
    const PlotGeometry geometry(raster.width(), raster.height(), scale);
    MemorySink sink;
    IpfWriter writer(sink);
    writer.begin(geometry);
    std::vector<Run> runs;
    std::vector<Run> reference;
    qint64 total = 0;
    for (int y = 0; y < raster.height(); ++y) {
        finder.findRuns(y, runs);
        runsByPoint(finder, raster, y, reference);
        if (runs != reference)
            fail("fast run detection differs from the reference");
        for (const Run& run : runs) {
            if (run.begin < 0 || run.end > raster.width() || run.begin >= run.end)
                fail("run outside the row");
        }
        writer.writeRow(y, runs);
        total += static_cast<qint64>(runs.size());
    }
    writer.end();
    if (!writer.flush())
        fail("writing to memory failed");
    checkPlot(QByteArray::fromStdString(sink.bytes), total);
    return 0;
}
