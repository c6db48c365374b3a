#include "picture/PictureLoader.h"

#include "picture/BmpFile.h"
#include "picture/BmpRowSource.h"
#include "picture/FormatCheck.h"
#include "picture/GifCheck.h"
#include "picture/ImageRows.h"
#include "picture/JpegCheck.h"
#include "picture/LoadControl.h"
#include "picture/PictureStream.h"
#include "picture/PngCheck.h"

#include <QFile>
#include <QImageReader>
#include <QtEndian>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelviq {

namespace {

using Format = FormatCheck::Format;

// Far beyond any real drawing, and beyond what the plot file's coordinates are meant for.
constexpr qint64 MaxPixels = (qint64(1) << 31) - 1;
// Enough for every header of the text formats, with comments before it.
constexpr qsizetype TextHead = 64 * 1024;
// The most an icon file may hold between its directory and its first picture.
constexpr qint64 IconSlack = qint64(64) << 20;

QString failure(const QString& name, const QString& reason)
{
    const QString shown = name == QLatin1String("-") ? QStringLiteral("from standard input") : name;
    return QStringLiteral("Cannot read the picture ") + shown + QStringLiteral(": ") + reason +
           (reason.endsWith(QLatin1Char('.')) ? QString() : QStringLiteral("."));
}

// Whether a picture of this size can be traced, and held while it is loaded.
QString sizeProblem(qint64 width, qint64 height, qint64 memoryBytes)
{
    if (width <= 0 || height <= 0)
        return {};
    const QString size = QStringLiteral("the picture is %1 × %2 pixels").arg(width).arg(height);
    if (width > MaxPixels / height)
        return size + QStringLiteral(", more than the %1 million pixels this program can trace")
                          .arg(MaxPixels / 1000000);
    // QImage counts the bytes of one row in an int.
    const bool rowTooLong = width > (INT_MAX - 32) / 4;
    if (rowTooLong || memoryBytes > PictureLoader::memoryLimit())
        return size + QStringLiteral(", too large for this machine's memory");
    return {};
}

QString sizeProblem(const FormatCheck::Claim& claim)
{
    return sizeProblem(claim.width, claim.height, claim.memoryBytes);
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

// A picture Qt's reader decodes from the bytes read; the checks before have made sure they
// are whole.
struct Decoded
{
    QImage image;
    QString problem;
};

Decoded decodeWithQt(const QByteArray& data, const QByteArray& format, LoadControl* control)
{
    // Qt refuses pictures over 256 MB by default; the size was checked against this machine.
    QImageReader::setAllocationLimit(
        static_cast<int>(std::min<qint64>(PictureLoader::memoryLimit() >> 20, INT_MAX)));
    KeptBytes buffer(data, control);
    QImageReader reader(&buffer, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull())
        return {{}, QStringLiteral("the file is damaged or truncated")};
    return {std::move(image), {}};
}

class Loader
{
public:
    Loader(PictureStream& input, const QString& name, LoadMode mode, int fd,
           const struct stat* info, const PictureLoader::Reserve& reserve, LoadControl* control)
        : m_input(input), m_name(name), m_mode(mode), m_fd(fd), m_info(info), m_reserve(reserve),
          m_control(control)
    {
        m_input.setControl(control);
    }

    LoadResult run();

private:
    LoadResult fail(const QString& reason) const { return {{}, failure(m_name, reason), {}}; }
    LoadResult fromImage(QImage image) const;
    LoadResult bmp();
    LoadResult plainBmp(const BmpRowSource::Header& header);
    LoadResult checkedByLibrary(Format format);
    LoadResult readWhole(Format format);
    LoadResult ico();
    // The reason after a check read past what a file of its claim may hold, or ran out.
    QString readProblem(const QString& problem) const;
    // The size check of a claim; reserves its memory when it passes.
    QString accept(qint64 width, qint64 height, qint64 memoryBytes) const;
    QString accept(const FormatCheck::Claim& claim) const;

    Decoded decode(const QByteArray& data, const QByteArray& format) const
    {
        return decodeWithQt(data, format, m_control);
    }
    // The file is read this many times in all: by the checks, then by the decoder.
    void expectReadings(int times) const
    {
        if (m_control && regularFile())
            m_control->total = fileSize() * times;
    }

    bool regularFile() const { return m_info && S_ISREG(m_info->st_mode); }
    qint64 fileSize() const { return regularFile() ? m_info->st_size : -1; }

    PictureStream& m_input;
    QString m_name;
    LoadMode m_mode;
    int m_fd;
    const struct stat* m_info;
    const PictureLoader::Reserve& m_reserve;
    LoadControl* m_control;
    PictureDensity m_density;
};

QString Loader::accept(const FormatCheck::Claim& claim) const
{
    // A file on disk too small for its claim is a cut file (or a bomb): no need to decode it.
    if (regularFile() && fileSize() < claim.leastFileBytes)
        return sizeProblem(claim).isEmpty()
                   ? QStringLiteral("the file is truncated: it is too small to hold a picture of "
                                    "%1 × %2 pixels")
                         .arg(claim.width)
                         .arg(claim.height)
                   : sizeProblem(claim);
    return accept(claim.width, claim.height, claim.memoryBytes);
}

QString Loader::accept(qint64 width, qint64 height, qint64 memoryBytes) const
{
    QString problem = sizeProblem(width, height, memoryBytes);
    if (problem.isEmpty() && m_reserve)
        m_reserve(memoryBytes);
    return problem;
}

LoadResult Loader::run()
{
    const QByteArray head = m_input.head(FormatCheck::SniffBytes);
    if (head.isEmpty())
        return fail(m_input.errorString().isEmpty() ? QStringLiteral("the file is empty")
                                                    : m_input.errorString());
    const Format format = FormatCheck::sniff(head);
    expectReadings(format == Format::Bmp ? 1 : 2);
    switch (format) {
    case Format::Bmp:
        return bmp();
    case Format::Png:
    case Format::Jpeg:
    case Format::Gif:
        return checkedByLibrary(format);
    case Format::Ico:
        return ico();
    case Format::Pnm:
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
    // 16 bits a channel become 8 in the same memory, so such a picture is never held twice
    // (with transparency it is painted over white at 16 bits, as always).
    if (image.depth() > 32 && !image.hasAlphaChannel())
        image.convertTo(QImage::Format_RGB32);
    Raster raster = rasterFromImage(std::move(image));
    if (raster.isNull())
        return fail(QStringLiteral("not enough memory to convert it"));
    return {std::move(raster), {}, m_density};
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
    if (const std::optional<BmpRowSource::Header> plain = BmpRowSource::plainHeader(head))
        return plainBmp(*plain);

    // Every other kind is checked and decoded whole.
    const FormatCheck::Claim claim = FormatCheck::claim(Format::Bmp, head);
    // A size beyond reach is the more useful reason, also when the rest is broken too.
    if (const QString tooLarge = accept(claim); !tooLarge.isEmpty())
        return fail(tooLarge);
    m_input.setCap(claim.fileBytes);
    expectReadings(2);
    m_input.readAll();
    const QByteArray& data = m_input.kept();
    if (!m_input.errorString().isEmpty())
        return fail(m_input.errorString());
    const BmpFile file = BmpFile::inspect(data);
    if (!file.problem().isEmpty())
        return fail(file.problem());
    const QByteArray repaired = file.repaired(data);
    Decoded decoded = decode(repaired, "bmp");
    if (!decoded.problem.isEmpty())
        return fail(QStringLiteral("the file is damaged or uses a kind of BMP this program "
                                   "cannot read"));
    if (file.compression() == BmpFile::Compression::Rle8 ||
        file.compression() == BmpFile::Compression::Rle4) {
        // Qt leaves the pixels that compressed data skips undefined; decode them ourselves.
        if (!file.decodeRle(repaired, decoded.image))
            return fail(QStringLiteral("the file is damaged: its compressed picture data "
                                       "cannot be decoded"));
    }
    return fromImage(std::move(decoded.image));
}

LoadResult Loader::plainBmp(const BmpRowSource::Header& header)
{
    const bool onDisk = regularFile() && fileSize() >= header.dataEnd();
    const bool streamed = m_mode == LoadMode::Stream && onDisk && m_fd >= 0;
    // The picture's rows: a bit, a byte or four bytes a pixel.
    const qint64 rowBytes = header.layout == Raster::Layout::Bits ? header.stride
                            : header.layout == Raster::Layout::Indexed
                                ? (qint64(header.width) + 3) & ~3
                                : qint64(header.width) * 4;
    const qint64 bytes = streamed ? 0 : rowBytes * header.height;
    if (const QString tooLarge = accept(header.width, header.height, bytes); !tooLarge.isEmpty())
        return fail(tooLarge);
    // A file on disk too short for its pixels is refused before any memory is taken.
    if (regularFile() && !onDisk)
        return fail(FormatCheck::truncated());
    if (streamed) {
        Raster raster(BmpRowSource::open(m_fd, header));
        if (raster.isNull())
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        return {std::move(raster), {}, m_density};
    }
    QImage image;
    const QString problem =
        BmpRowSource::decode(m_input, onDisk ? m_fd : -1, header, image, m_control);
    if (!problem.isEmpty())
        return fail(problem);
    return fromImage(std::move(image));
}

LoadResult Loader::checkedByLibrary(Format format)
{
    QString problem;
    if (format == Format::Jpeg) {
        problem = JpegCheck::problem(
            m_input, [this](const FormatCheck::Claim& claim) { return accept(claim); });
    } else {
        const FormatCheck::Claim claim = FormatCheck::claim(format, m_input.head(TextHead));
        if (!claim.problem.isEmpty())
            return fail(claim.problem);
        if (const QString tooLarge = accept(claim); !tooLarge.isEmpty())
            return fail(tooLarge);
        m_input.setCap(claim.fileBytes);
        if (format == Format::Png) {
            problem = PngCheck::problem(m_input);
        } else {
            problem = GifCheck::problem(m_input, [](qint64 width, qint64 height) {
                return sizeProblem(width, height, width * height * 8);
            });
        }
    }
    if (!problem.isEmpty())
        return fail(readProblem(problem));
    if (format == Format::Png)
        m_density = PictureDensity::fromPng(m_input.kept());
    else if (format == Format::Jpeg)
        m_density = PictureDensity::fromJpeg(m_input.kept());
    Decoded decoded = decode(m_input.kept(), FormatCheck::qtName(format, {}));
    if (!decoded.problem.isEmpty())
        return fail(decoded.problem);
    return fromImage(std::move(decoded.image));
}

LoadResult Loader::readWhole(Format format)
{
    const QByteArray head = m_input.head(TextHead);
    const FormatCheck::Claim claim = FormatCheck::claim(format, head);
    if (!claim.problem.isEmpty()) {
        // A header still unfinished after all that text is no header.
        const bool endless = claim.problem == FormatCheck::truncated() && head.size() == TextHead;
        return fail(endless ? FormatCheck::damaged(QStringLiteral("its header is not readable"))
                            : claim.problem);
    }
    if (const QString tooLarge = accept(claim); !tooLarge.isEmpty())
        return fail(tooLarge);
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
            return fail(sizeProblem(claim));
        const qint64 colors = bits <= 8 ? (used > 0 && used < (1 << bits) ? used : 1 << bits) : 0;
        needed = headerSize + colors * 4 + (claim.width * bits + 31) / 32 * 4 * claim.height +
                 (claim.width + 31) / 32 * 4 * claim.height;
        claim.memoryBytes = claim.width * claim.height * 12;
        claim.fileBytes = needed;
    }
    if (const QString tooLarge = accept(claim); !tooLarge.isEmpty())
        return fail(tooLarge);
    if (bytes > claim.fileBytes)
        return fail(FormatCheck::damaged(QStringLiteral("its first picture claims more bytes "
                                                        "than a picture of its size needs")));
    m_input.setCap(offset + bytes);
    m_input.readAll();
    if (!m_input.errorString().isEmpty())
        return fail(m_input.errorString());
    const QByteArray& data = m_input.kept();
    if (data.size() < offset + bytes || bytes < needed)
        return fail(FormatCheck::truncated());
    if (png) {
        PictureStream picture(data.mid(offset, bytes));
        if (const QString problem = PngCheck::problem(picture); !problem.isEmpty())
            return fail(problem);
    }
    Decoded decoded = decode(data, FormatCheck::qtName(Format::Ico, head));
    if (!decoded.problem.isEmpty())
        return fail(decoded.problem);
    return fromImage(std::move(decoded.image));
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

LoadResult PictureLoader::load(const QString& path, LoadMode mode, const Reserve& reserve,
                               LoadControl* control)
{
    const bool standardInput = path == QLatin1String("-");
    const int fd = standardInput
                       ? STDIN_FILENO
                       : ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return {{}, failure(path, openProblem(path, errno)), {}};
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
        return {{}, failure(path, QString::fromLocal8Bit(std::strerror(errno))), {}};
    if (S_ISDIR(info.st_mode))
        return {{}, failure(path, QStringLiteral("it is a folder, not a file")), {}};
    PictureStream input(fd);
    LoadResult result = Loader(input, path, mode, fd, &info, reserve, control).run();
    if (control && control->cancelled()) // whatever it got to, it is not the picture
        result = {{}, failure(path, cancelledText()), {}};
    return result;
}

LoadResult PictureLoader::loadFromData(const QByteArray& data, const QString& name, LoadMode mode)
{
    PictureStream input(data);
    return Loader(input, name, mode, -1, nullptr, {}, nullptr).run();
}

} // namespace kelviq
