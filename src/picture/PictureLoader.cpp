#include "picture/PictureLoader.h"

#include "picture/BmpFile.h"
#include "picture/BmpRowSource.h"
#include "picture/ColorClasses.h"
#include "picture/ExifOrientation.h"
#include "picture/FormatCheck.h"
#include "picture/GifDecoder.h"
#include "picture/ImageRows.h"
#include "picture/JpegDecoder.h"
#include "picture/LoadControl.h"
#include "picture/PictureBuilder.h"
#include "picture/PictureStream.h"
#include "picture/PngDecoder.h"
#include "picture/PnmDecoder.h"
#include "picture/StreamedRows.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace kelviq {

namespace {

using Format = FormatCheck::Format;
using Layout = PixelRows::Layout;

// Far beyond any real drawing, and beyond what the plot file's coordinates are meant for.
constexpr qint64 MaxPixels = (qint64(1) << 31) - 1;
// Enough for every header of the text formats, with comments before it.
constexpr qsizetype TextHead = 64 * 1024;
// The most an icon file may hold between its directory and its first picture.
constexpr qint64 IconSlack = qint64(64) << 20;

QString shownName(const QString& name)
{
    return name == QLatin1String("-") ? QStringLiteral("from standard input") : name;
}

QString failure(const QString& name, const QString& reason)
{
    return QStringLiteral("Cannot read the picture ") + shownName(name) + QStringLiteral(": ") +
           reason + (reason.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral("."));
}

LoadResult refused(const QString& message)
{
    LoadResult result;
    result.error = message;
    return result;
}

// Why a text header could not be read; wholeHead: all of TextHead was read for it.
QString headerProblem(const QString& problem, bool wholeHead)
{
    // A header still unfinished after all that text is no header.
    if (wholeHead && problem == FormatCheck::truncated())
        return FormatCheck::damaged(QStringLiteral("its header is not readable"));
    return problem;
}

QString openProblem(const QString& path, int error)
{
    switch (error) {
    case ENOENT:
        if (path.contains(QChar::ReplacementCharacter))
            return QStringLiteral("its name is not valid UTF-8, so it cannot be found");
        return QStringLiteral("the file does not exist");
    case ELOOP:
        return QStringLiteral("its name leads into a loop of symbolic links");
    case ENOTDIR:
        return QStringLiteral("a part of its path is not a folder");
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

// Bytes of a picture of this layout held in its own compact form.
qint64 compactBytes(Layout layout, qint64 width, qint64 height)
{
    switch (layout) {
    case Layout::Bits:
        return (width + 31) / 32 * 4 * height;
    case Layout::Indexed:
        return (width + 3) / 4 * 4 * height;
    default:
        return 4 * width * height;
    }
}

// The bytes read, handed to Qt's reader without a copy; counts what the reader takes and ends
// the input early once the load is cancelled, which stops the reader.
class KeptBytes : public QIODevice
{
public:
    KeptBytes(const QByteArray& data, LoadControl* control) : m_data(data), m_control(control)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_data.size(); }

protected:
    qint64 readData(char* out, qint64 n) override
    {
        if (m_control && m_control->cancelled())
            return -1;
        const qint64 at = pos();
        const qint64 take = std::clamp<qint64>(m_data.size() - at, 0, n);
        std::memcpy(out, m_data.constData() + at, static_cast<std::size_t>(take));
        if (m_control)
            m_control->count(take);
        return take;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    const QByteArray& m_data;
    LoadControl* m_control;
};

// A picture Qt's reader decodes from the bytes read, for the small formats it still reads;
// the checks before have made sure they are whole.
struct Decoded
{
    QImage image;
    QString problem;
};

Decoded decodeWithQt(const QByteArray& data, const QByteArray& format, qint64 memoryLimit,
                     LoadControl* control)
{
    // Qt refuses pictures over 256 MB by default; the size was checked against this machine.
    QImageReader::setAllocationLimit(
        static_cast<int>(std::min<qint64>(memoryLimit >> 20, INT_MAX)));
    KeptBytes buffer(data, control);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull())
        return {{}, QStringLiteral("the file is damaged or truncated")};
    return {std::move(image), {}};
}

// Reads a started decoder to the end of its picture, as a check; the colour of the stored
// pixel at (x, y) on the way, when it lies in the picture.
bool readThrough(PictureDecoder& decoder, int x, int y, ColorValue& color)
{
    PictureDecoder::Span span;
    while (decoder.next(span)) {
        if (span.y != y || x < span.x || (x - span.x) % span.step != 0)
            continue;
        const int i = (x - span.x) / span.step;
        if (i < span.count)
            color = decoder.colorAt(span, i);
    }
    return decoder.problem().isEmpty() && decoder.finish();
}

std::unique_ptr<PictureDecoder> decoderFor(Format format, PictureStream& input,
                                           JpegDecoder::Fidelity fidelity)
{
    switch (format) {
    case Format::Png:
        return std::make_unique<PngDecoder>(input);
    case Format::Jpeg:
        return std::make_unique<JpegDecoder>(input, fidelity);
    case Format::Gif:
        return std::make_unique<GifDecoder>(input);
    case Format::Pnm:
        return std::make_unique<PnmDecoder>(input);
    default:
        return nullptr;
    }
}

// Opens a picture anew from its start, for reading it once more: a file on disk through a
// descriptor of its own, read from its start whatever the first reading's offset; a stream from
// the bytes kept while it was checked.
struct Reopener
{
    struct Descriptor
    {
        int fd;
        ~Descriptor() { ::close(fd); }
    };
    std::shared_ptr<Descriptor> file;
    QByteArray kept;
    Format format = Format::Unknown;

    StreamedRows::Source operator()(QString& problem) const
    {
        StreamedRows::Source source;
        source.input = file ? std::make_unique<PictureStream>(file->fd, true)
                            : std::make_unique<PictureStream>(kept);
        source.input->stopKeeping();
        source.decoder = decoderFor(format, *source.input, JpegDecoder::Fidelity::Exact);
        if (!source.decoder->start()) {
            problem = source.decoder->problem();
            return {};
        }
        return source;
    }
};

class Loader
{
public:
    Loader(PictureStream& input, const QString& name, LoadMode mode, int fd,
           const struct stat* info, const LoadOptions& options)
        : m_input(input), m_name(name), m_mode(mode), m_fd(fd), m_info(info), m_options(options),
          m_memoryLimit(options.memoryLimit > 0 ? options.memoryLimit
                                                : PictureLoader::memoryLimit())
    {
        m_input.setControl(options.control);
    }

    LoadResult run();
    // What the picture was found to need, for a message when memory runs out.
    qint64 neededBytes() const { return m_needed; }

private:
    LoadResult fail(const QString& reason) const { return refused(failure(m_name, reason)); }
    LoadResult outOfMemory() const
    {
        return refused(PictureLoader::notEnoughMemoryText(shownName(m_name), m_needed));
    }
    // The picture shown as orientation says, with the density the file states.
    LoadResult loaded(Raster raster, int orientation) const
    {
        PictureDensity density = m_density;
        if (ExifOrientation::swapsSides(orientation))
            std::swap(density.dpiX, density.dpiY);
        return {std::move(raster), {}, orientation, density};
    }
    LoadResult loaded(PictureBuilder::Result built, int orientation) const
    {
        return loaded(Raster(std::make_shared<ImageRows>(std::move(built.image), built.layout,
                                                         built.palette)),
                      orientation);
    }
    LoadResult failedDecoding(const PictureDecoder& decoder) const
    {
        return decoder.outOfMemory() ? outOfMemory() : fail(readProblem(decoder.problem()));
    }
    LoadResult fromImage(QImage image) const;
    LoadResult bmp();
    LoadResult decoded(Format format);
    // held: the picture is built whole (its rows come out of order, or are turned).
    LoadResult streamed(Format format, std::unique_ptr<PictureDecoder> check, int orientation,
                        bool held);
    LoadResult readWhole(Format format);
    LoadResult ico();
    // The reason after a decoder read past what a file of its claim may hold, or ran out.
    QString readProblem(const QString& problem) const;
    // Whether a picture of this size can be traced, and held in this much memory.
    QString sizeProblem(qint64 width, qint64 height, qint64 memoryBytes, bool held) const;
    // The size check of a claim; reserves its memory when it passes.
    QString accept(qint64 width, qint64 height, qint64 memoryBytes, bool held);
    QString accept(const FormatCheck::Claim& claim, qint64 memoryBytes, bool held);

    Decoded decode(const QByteArray& data, const QByteArray& format) const
    {
        return decodeWithQt(data, format, m_memoryLimit, m_options.control);
    }
    // The file is read this many times while it loads; what the count of bytes read reaches.
    void expectReadings(int times) const
    {
        if (m_options.control && regularFile())
            m_options.control->total = fileSize() * times;
    }

    bool regularFile() const { return m_info && S_ISREG(m_info->st_mode); }
    qint64 fileSize() const { return regularFile() ? m_info->st_size : -1; }

    PictureStream& m_input;
    QString m_name;
    LoadMode m_mode;
    int m_fd;
    const struct stat* m_info;
    const LoadOptions& m_options;
    qint64 m_memoryLimit;
    qint64 m_needed = 0;
    PictureDensity m_density;
};

QString Loader::sizeProblem(qint64 width, qint64 height, qint64 memoryBytes, bool held) const
{
    if (width <= 0 || height <= 0)
        return {};
    const QString size = QStringLiteral("the picture is %1 × %2 pixels").arg(width).arg(height);
    if (width > MaxPixels / height)
        return size + QStringLiteral(", more than the %1 million pixels this program can trace")
                          .arg(MaxPixels / 1000000);
    // QImage counts the bytes of one row in an int.
    const bool rowTooLong = held && width > (INT_MAX - 32) / 4;
    if (rowTooLong || memoryBytes > m_memoryLimit)
        return size + QStringLiteral(", too large for this machine's memory");
    return {};
}

QString Loader::accept(const FormatCheck::Claim& claim, qint64 memoryBytes, bool held)
{
    // A file on disk too small for its claim is a cut file (or a bomb): no need to decode it.
    if (regularFile() && fileSize() < claim.leastFileBytes) {
        const QString tooLarge = sizeProblem(claim.width, claim.height, memoryBytes, held);
        return tooLarge.isEmpty() ? QStringLiteral("the file is truncated: it is too small to "
                                                   "hold a picture of %1 × %2 pixels")
                                        .arg(claim.width)
                                        .arg(claim.height)
                                  : tooLarge;
    }
    return accept(claim.width, claim.height, memoryBytes, held);
}

QString Loader::accept(qint64 width, qint64 height, qint64 memoryBytes, bool held)
{
    QString problem = sizeProblem(width, height, memoryBytes, held);
    m_needed = memoryBytes;
    if (problem.isEmpty() && m_options.reserve)
        m_options.reserve(memoryBytes);
    return problem;
}

LoadResult Loader::run()
{
    const QByteArray head = m_input.head(FormatCheck::SniffBytes);
    if (head.isEmpty())
        return fail(m_input.errorString().isEmpty() ? QStringLiteral("the file is empty")
                                                    : m_input.errorString());
    const Format format = FormatCheck::sniff(head);
    // Most pictures are read once; those read twice say so.
    expectReadings(1);
    switch (format) {
    case Format::Bmp:
        return bmp();
    case Format::Png:
    case Format::Jpeg:
    case Format::Gif:
    case Format::Pnm:
        return decoded(format);
    case Format::Ico:
        return ico();
    case Format::Xbm:
    case Format::Xpm:
        return readWhole(format);
    case Format::Unknown:
        break;
    }
    return fail(QStringLiteral("not a picture format this program can read"));
}

LoadResult Loader::fromImage(QImage image) const
{
    Raster raster = rasterFromImage(std::move(image));
    if (raster.isNull())
        return outOfMemory();
    return loaded(std::move(raster), 1);
}

QString Loader::readProblem(const QString& problem) const
{
    if (m_input.capExceeded())
        return FormatCheck::damaged(QStringLiteral("it holds far more data than a picture of its "
                                                   "size needs"));
    return problem;
}

LoadResult Loader::bmp()
{
    const QByteArray head = m_input.head(BmpRowSource::HeadBytes);
    m_density = PictureDensity::fromBmp(head);
    // A size beyond reach is the more useful reason, also when the rest is broken too.
    const FormatCheck::Claim claim = FormatCheck::claim(Format::Bmp, head);
    if (FormatCheck::Claim reach = claim; FormatCheck::beyondReach(reach))
        return fail(sizeProblem(claim.width, claim.height, 0, false));
    BmpFile file = BmpFile::inspect(head, fileSize());
    const BmpRowSource::Header& header = file.header();
    // Compressed rows come in the file's order, bottom up mostly: such a picture is held a
    // byte a pixel. Others are read straight from the disk while they are converted.
    const bool onDisk = regularFile() && fileSize() >= header.dataEnd();
    const bool streamed = !file.compressed() && m_mode == LoadMode::Stream && onDisk && m_fd >= 0;
    const Layout layout = file.compressed() ? Layout::Indexed : header.layout;
    const qint64 bytes = streamed ? 0 : compactBytes(layout, header.width, header.height);
    if (const QString tooLarge = sizeProblem(header.width, header.height, bytes, !streamed);
        !tooLarge.isEmpty())
        return fail(tooLarge);
    if (!file.problem().isEmpty())
        return fail(file.problem());
    if (const QString tooLarge = accept(header.width, header.height, bytes, !streamed);
        !tooLarge.isEmpty())
        return fail(tooLarge);

    if (file.compressed()) {
        m_input.setCap(claim.fileBytes);
        m_input.readAll();
        if (!m_input.errorString().isEmpty())
            return fail(m_input.errorString());
        const QByteArray& data = m_input.kept();
        file = BmpFile::inspect(data, data.size());
        if (!file.problem().isEmpty())
            return fail(file.problem());
        QString problem;
        QImage image = file.decodeRle(data, problem);
        if (image.isNull())
            return problem.isEmpty() ? outOfMemory() : fail(problem);
        return fromImage(std::move(image));
    }

    if (streamed) {
        Raster raster(BmpRowSource::open(m_fd, header));
        if (raster.isNull())
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        return loaded(std::move(raster), 1);
    }
    QImage image;
    const QString problem =
        BmpRowSource::decode(m_input, onDisk ? m_fd : -1, header, image, m_options.control);
    if (image.isNull() && problem.isEmpty())
        return outOfMemory();
    if (!problem.isEmpty())
        return fail(problem);
    return fromImage(std::move(image));
}

LoadResult Loader::decoded(Format format)
{
    FormatCheck::Claim headClaim;
    if (format != Format::Jpeg) {
        // Headers small enough to read before anything: refuse absurd sizes at once, and read
        // no further than such a picture can need.
        headClaim = FormatCheck::claim(format, m_input.head(TextHead));
        const FormatCheck::Claim& claim = headClaim;
        if (!claim.problem.isEmpty())
            return fail(headerProblem(claim.problem,
                                      format == Format::Pnm && m_input.kept().size() >= TextHead));
        if (const QString tooLarge = sizeProblem(claim.width, claim.height, 0, false);
            !tooLarge.isEmpty())
            return fail(tooLarge);
        m_input.setCap(claim.fileBytes);
    }
    // The converter checks the whole file with a first decoding, then decodes again as it
    // traces; a JPEG is checked the cheap way unless the colour of a pixel is wanted first.
    const bool checkFirst = m_mode == LoadMode::Stream;
    const auto fidelity = checkFirst && !m_options.pick ? JpegDecoder::Fidelity::CheckOnly
                                                        : JpegDecoder::Fidelity::Exact;
    std::unique_ptr<PictureDecoder> decoder = decoderFor(format, m_input, fidelity);
    if (!decoder->start())
        return failedDecoding(*decoder);
    m_density = decoder->density();
    const int orientation = m_options.ignoreOrientation ? 1 : decoder->orientation();
    const bool held = m_mode == LoadMode::Decode || !decoder->topDown() ||
                      !ExifOrientation::keepsRows(orientation);
    // Held whole: in its compact form for the window, a byte a pixel for the converter.
    qint64 bytes = decoder->ownMemory();
    if (held)
        bytes += m_mode == LoadMode::Decode
                     ? compactBytes(decoder->layout(), decoder->width(), decoder->height())
                     : compactBytes(Layout::Indexed, decoder->width(), decoder->height());
    if (const QString tooLarge =
            sizeProblem(decoder->codedWidth(), decoder->codedHeight(), 0, false);
        !tooLarge.isEmpty())
        return fail(tooLarge);
    const FormatCheck::Claim& claim = format == Format::Jpeg ? decoder->claim() : headClaim;
    if (const QString tooLarge = accept(claim, bytes, held); !tooLarge.isEmpty())
        return fail(tooLarge);
    // Only a stream that is checked first is read again, from what was kept of it.
    if (regularFile() || !checkFirst)
        m_input.stopKeeping();

    if (checkFirst)
        return streamed(format, std::move(decoder), orientation, held);
    PictureBuilder::Result built = PictureBuilder::build(*decoder, orientation, nullptr);
    if (built.image.isNull())
        return built.outOfMemory ? outOfMemory() : fail(readProblem(built.problem));
    return loaded(std::move(built), orientation);
}

LoadResult Loader::streamed(Format format, std::unique_ptr<PictureDecoder> check, int orientation,
                            bool held)
{
    // Read through as a check, then again into the picture held; streamed rows are read again
    // only as they are traced.
    expectReadings(held ? 2 : 1);
    // The picked pixel, where it is stored: held colour pictures are classed by its colour.
    int pickX = -1;
    int pickY = -1;
    std::optional<TraceSettings> selection = m_options.selection;
    const bool swapped = ExifOrientation::swapsSides(orientation);
    const int shownWidth = swapped ? check->height() : check->width();
    const int shownHeight = swapped ? check->width() : check->height();
    if (held && m_options.pick && m_options.pick->x() >= 0 && m_options.pick->y() >= 0 &&
        m_options.pick->x() < shownWidth && m_options.pick->y() < shownHeight) {
        pickX = m_options.pick->x();
        pickY = m_options.pick->y();
        ExifOrientation::stored(orientation, check->width(), check->height(), pickX, pickY);
    }
    ColorValue picked = NoColor;
    // A file whose size alone tells that it is whole needs no reading through.
    const qint64 wholeBytes = check->wholeFileBytes();
    if (wholeBytes >= 0 && regularFile()) {
        if (fileSize() < wholeBytes)
            return fail(FormatCheck::truncated());
    } else if (!readThrough(*check, pickX, pickY, picked)) {
        return failedDecoding(*check);
    }
    check.reset();

    Reopener reopen;
    reopen.format = format;
    if (regularFile() && m_fd >= 0) {
        const int fd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        reopen.file = std::shared_ptr<Reopener::Descriptor>(new Reopener::Descriptor{fd});
    } else {
        reopen.kept = m_input.kept();
    }
    QString problem;
    StreamedRows::Source source = reopen(problem);
    if (!source.decoder)
        return fail(problem);
    if (!held) {
        auto rows = std::make_shared<StreamedRows>(reopen, std::move(source), orientation == 2);
        return loaded(Raster(std::move(rows)), orientation);
    }
    source.input->setControl(m_options.control);
    std::optional<ColorClasses> classes;
    if (selection) {
        if (m_options.pick)
            selection->target = picked;
        classes.emplace(*selection);
    }
    PictureBuilder::Result built =
        PictureBuilder::build(*source.decoder, orientation, classes ? &*classes : nullptr);
    if (built.image.isNull())
        return built.outOfMemory ? outOfMemory() : fail(readProblem(built.problem));
    return loaded(std::move(built), orientation);
}

LoadResult Loader::readWhole(Format format)
{
    const QByteArray head = m_input.head(TextHead);
    FormatCheck::Claim claim = FormatCheck::claim(format, head);
    if (!claim.problem.isEmpty())
        return fail(headerProblem(claim.problem, head.size() == TextHead));
    if (const QString tooLarge = accept(claim, claim.memoryBytes, true); !tooLarge.isEmpty())
        return fail(tooLarge);
    expectReadings(2); // then Qt's reader reads the bytes kept
    m_input.setCap(claim.fileBytes);
    m_input.readAll();
    if (!m_input.errorString().isEmpty())
        return fail(m_input.errorString());
    const QByteArray& data = m_input.kept();
    if (const QString problem = FormatCheck::textProblem(format, data); !problem.isEmpty())
        return fail(problem);
    Decoded decoded = decode(data, FormatCheck::qtName(format, head));
    if (!decoded.problem.isEmpty())
        return fail(decoded.problem);
    return fromImage(std::move(decoded.image));
}

// An icon file: a directory of pictures, each a PNG file or a bitmap without its file header
// (and twice its height, for the transparency mask below the colours). Qt's reader shows the
// first; the directory's word on its size does not count, the picture's own header does.
LoadResult Loader::ico()
{
    const QByteArray directory = m_input.head(6);
    const qint64 count = qFromLittleEndian<quint16>(directory.constData() + 4);
    QByteArray head = m_input.head(6 + 16 * count);
    if (head.size() < 6 + 16 * count)
        return fail(FormatCheck::truncated());
    const qint64 bytes = qFromLittleEndian<quint32>(head.constData() + 6 + 8);
    const qint64 offset = qFromLittleEndian<quint32>(head.constData() + 6 + 12);
    if (offset < 6 + 16 * count)
        return fail(FormatCheck::damaged(QStringLiteral("its first picture would start inside "
                                                        "its directory")));
    // Other pictures may come first, but icons are small: never read far for nothing.
    if (offset > 6 + 16 * count + IconSlack)
        return fail(FormatCheck::damaged(QStringLiteral("its first picture would start far "
                                                        "beyond its directory")));
    head = m_input.head(offset + 64);
    const QByteArray entry = head.mid(offset);
    const bool png = entry.startsWith("\x89PNG\r\n\x1a\n");
    if (entry.size() < (png ? 33 : 40))
        return fail(FormatCheck::truncated());
    FormatCheck::Claim claim;
    qint64 needed = 0; // bytes of a bitmap entry
    if (png) {
        claim = FormatCheck::pngClaim(entry);
        if (!claim.problem.isEmpty())
            return fail(claim.problem);
        // Qt decodes the PNG picture, then makes an icon picture of it.
        if (!FormatCheck::beyondReach(claim))
            claim.memoryBytes += claim.width * claim.height * 4;
    } else {
        const qint64 headerSize = qFromLittleEndian<quint32>(entry.constData());
        claim.width = qFromLittleEndian<qint32>(entry.constData() + 4);
        claim.height = qFromLittleEndian<qint32>(entry.constData() + 8) / 2;
        const int bits = qFromLittleEndian<quint16>(entry.constData() + 14);
        const qint64 used = qFromLittleEndian<quint32>(entry.constData() + 32);
        if (headerSize < 40 || headerSize > 124 || claim.width <= 0 || claim.height <= 0 ||
            !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32))
            return fail(FormatCheck::damaged(QStringLiteral("its first picture's header is not "
                                                            "one an icon has")));
        if (FormatCheck::beyondReach(claim))
            return fail(sizeProblem(claim.width, claim.height, claim.memoryBytes, true));
        const qint64 colors = bits <= 8 ? (used > 0 && used < (1 << bits) ? used : 1 << bits) : 0;
        needed = headerSize + colors * 4 + (claim.width * bits + 31) / 32 * 4 * claim.height +
                 (claim.width + 31) / 32 * 4 * claim.height;
        claim.memoryBytes = claim.width * claim.height * 12;
        claim.fileBytes = needed;
    }
    if (const QString tooLarge = accept(claim, claim.memoryBytes, true); !tooLarge.isEmpty())
        return fail(tooLarge);
    if (bytes > claim.fileBytes)
        return fail(FormatCheck::damaged(QStringLiteral("its first picture claims more bytes "
                                                        "than a picture of its size needs")));
    expectReadings(2); // then Qt's reader reads the bytes kept
    m_input.setCap(offset + bytes);
    m_input.readAll();
    if (!m_input.errorString().isEmpty())
        return fail(m_input.errorString());
    const QByteArray& data = m_input.kept();
    if (data.size() < offset + bytes || bytes < needed)
        return fail(FormatCheck::truncated());
    if (png) {
        PictureStream picture(data.mid(offset, bytes));
        PngDecoder check(picture);
        ColorValue unused = NoColor;
        if (!check.start() || !readThrough(check, -1, -1, unused))
            return failedDecoding(check);
    }
    Decoded decoded = decode(data, FormatCheck::qtName(Format::Ico, head));
    if (!decoded.problem.isEmpty())
        return fail(decoded.problem);
    return fromImage(std::move(decoded.image));
}

LoadResult runLoader(Loader& loader, const QString& name)
{
    // Memory can run out anywhere a picture is read: that is told as such, and the program
    // goes on.
    try {
        return loader.run();
    } catch (const std::bad_alloc&) {
        return refused(PictureLoader::notEnoughMemoryText(shownName(name), loader.neededBytes()));
    }
}

} // namespace

qint64 PictureLoader::memoryLimit()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return qint64(4) << 30;
    return static_cast<qint64>(pages) * pageSize / 2;
}

QString PictureLoader::cancelledText()
{
    return QStringLiteral("its loading was cancelled");
}

QString PictureLoader::notEnoughMemoryText(const QString& name, qint64 bytes)
{
    const qint64 megabytes = std::max<qint64>(1, (bytes + (1 << 20) - 1) >> 20);
    return QStringLiteral("not enough memory to read %1: it needs about %2 MB.")
        .arg(name)
        .arg(megabytes);
}

LoadResult PictureLoader::load(const QString& path, LoadMode mode, const LoadOptions& options)
{
    const bool standardInput = path == QLatin1String("-");
    const int fd = standardInput
                       ? STDIN_FILENO
                       : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return refused(failure(path, openProblem(path, errno)));
    struct Closer
    {
        int fd;
        bool own;
        ~Closer()
        {
            if (own)
                ::close(fd);
        }
    } closer{fd, !standardInput};

    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0)
        return refused(failure(path, QString::fromLocal8Bit(std::strerror(errno))));
    if (S_ISDIR(info.st_mode))
        return refused(failure(path, QStringLiteral("it is a folder, not a file")));
    PictureStream input(fd);
    Loader loader(input, path, mode, fd, &info, options);
    LoadResult result = runLoader(loader, path);
    if (options.control &&
        options.control->cancelled()) // whatever it got to, it is not the picture
        result = refused(failure(path, cancelledText()));
    return result;
}

LoadResult PictureLoader::loadFromData(const QByteArray& data, const QString& name, LoadMode mode,
                                       const LoadOptions& options)
{
    PictureStream input(data);
    Loader loader(input, name, mode, -1, nullptr, options);
    return runLoader(loader, name);
}

} // namespace kelviq
