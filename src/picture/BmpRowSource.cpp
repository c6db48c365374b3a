#include "picture/BmpRowSource.h"

#include "picture/FormatCheck.h"
#include "picture/LoadControl.h"
#include "picture/PictureStream.h"
#include "picture/RgbColor.h"
#include "picture/WhiteBackground.h"

#include <QImage>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace kelviq {

namespace {

// Enough rows per read that the system calls cost nothing, little enough to be no burden.
constexpr qint64 BlockBytes = 1 << 20;

bool convertedRows(const BmpRowSource::Header& header)
{
    return header.bitsPerPixel != 1 && header.bitsPerPixel != 8;
}

int blockRows(const BmpRowSource::Header& header)
{
    return static_cast<int>(std::clamp<qint64>(BlockBytes / header.stride, 1, header.height));
}

// Blue, green, red in the file: read as a little-endian word that is 0x??RRGGBB already.
// The last pixel is read byte by byte, as a word could reach past the row.
void expandBgrPlain(const uchar* line, QRgb* out, int x, int width)
{
    for (; x < width - 1; ++x) {
        quint32 word;
        std::memcpy(&word, line + 3 * x, sizeof word);
        out[x] = qFromLittleEndian(word) | 0xff000000u;
    }
    if (x < width)
        out[x] = qRgb(line[3 * x + 2], line[3 * x + 1], line[3 * x]);
}

#if defined(__x86_64__) || defined(__i386__)
// Four pixels a step with one byte shuffle, on the processors that have it (nearly all).
__attribute__((target("ssse3"))) void expandBgrShuffled(const uchar* line, QRgb* out, int width)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(0xff000000u));
    int x = 0;
    // A 16-byte load at pixel x reaches pixel x + 5; stop before it leaves the row.
    for (; x + 6 <= width; x += 4) {
        const __m128i bgr = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                         _mm_or_si128(_mm_shuffle_epi8(bgr, spread), opaque));
    }
    expandBgrPlain(line, out, x, width);
}
#endif

void expandBgr(const uchar* line, QRgb* out, int width)
{
#if defined(__x86_64__) || defined(__i386__)
    static const bool shuffle = __builtin_cpu_supports("ssse3");
    if (shuffle) {
        expandBgrShuffled(line, out, width);
        return;
    }
#endif
    expandBgrPlain(line, out, 0, width);
}

} // namespace

QImage BmpRowSource::largeImage(int width, int height, QImage::Format format)
{
    constexpr qsizetype Large = qsizetype(32) << 20;
    const int depth = format == QImage::Format_Mono       ? 1
                      : format == QImage::Format_Indexed8 ? 8
                                                          : 32;
    const qsizetype bytesPerLine = ((qsizetype(width) * depth + 31) >> 5) << 2;
    const qsizetype bytes = bytesPerLine * height;
    if (bytes < Large || bytesPerLine > INT_MAX)
        return QImage(width, height, format);
    void* memory = ::mmap(nullptr, static_cast<size_t>(bytes), PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED)
        return QImage(width, height, format);
#ifdef MADV_HUGEPAGE
    ::madvise(memory, static_cast<size_t>(bytes), MADV_HUGEPAGE);
#endif
    struct Mapping
    {
        void* memory;
        size_t bytes;
    };
    return QImage(
        static_cast<uchar*>(memory), width, height, bytesPerLine, format,
        [](void* info) {
            const auto* mapping = static_cast<Mapping*>(info);
            ::munmap(mapping->memory, mapping->bytes);
            delete mapping;
        },
        new Mapping{memory, static_cast<size_t>(bytes)});
}

namespace {

// Such files have a full table of opaque colours, or a short one whose missing entries read as
// black: nothing to flatten.
PixelRows::Palette paletteOf(const QList<QRgb>& table)
{
    PixelRows::Palette palette{};
    for (qsizetype i = 0; i < table.size() && i < 256; ++i)
        palette[static_cast<std::size_t>(i)] = colorValueFromRgb(table[i]);
    return palette;
}

} // namespace

// One row of the file as the picture holds it: 4-bit indices a byte each, 16-, 24- and 32-bit
// pixels as pixel words; 1- and 8-bit rows are the file's own.
class BmpRowSource::RowConverter
{
public:
    explicit RowConverter(const Header& header) : m_header(header)
    {
        const int bits = header.bitsPerPixel;
        if (bits != 16 && bits != 32)
            return;
        for (int i = 0; i < 4; ++i) {
            const quint32 mask = header.masks[i];
            Channel& channel = m_channels[i];
            channel.shift = mask ? std::countr_zero(mask) : 0;
            channel.bits = mask ? 32 - std::countl_zero(mask >> channel.shift) : 0;
            channel.mask = mask;
            for (quint32 v = 0; channel.bits > 0 && channel.bits < 8 && v < (1u << channel.bits);
                 ++v)
                channel.widened[v] = widened(v, channel.bits);
        }
        m_alpha = header.masks[3] != 0;
        m_plain = bits == 32 && !m_alpha && header.masks[0] == 0xff0000 &&
                  header.masks[1] == 0xff00 && header.masks[2] == 0xff;
        if (bits == 16) {
            m_table16.resize(1 << 16);
            for (quint32 p = 0; p < (1u << 16); ++p)
                m_table16[p] = word(p);
        }
    }

    void convert(const uchar* line, uchar* out) const
    {
        const int width = m_header.width;
        auto* words = reinterpret_cast<QRgb*>(out);
        switch (m_header.bitsPerPixel) {
        case 4:
            // Two pixels a byte, the first in the high half.
            for (int x = 0; x < width; ++x)
                out[x] = (x & 1) ? (line[x >> 1] & 0x0f) : (line[x >> 1] >> 4);
            break;
        case 16:
            for (int x = 0; x < width; ++x)
                words[x] = m_table16[qFromLittleEndian<quint16>(line + 2 * x)];
            break;
        case 24:
            expandBgr(line, words, width);
            break;
        case 32:
            for (int x = 0; x < width; ++x) {
                const quint32 pixel = qFromLittleEndian<quint32>(line + 4 * x);
                words[x] = m_plain ? pixel | 0xff000000u : word(pixel);
            }
            break;
        default:
            std::memcpy(out, line, static_cast<std::size_t>(m_header.stride));
            break;
        }
    }

private:
    struct Channel
    {
        quint32 mask = 0;
        int shift = 0;
        int bits = 0;
        uchar widened[128] = {};
    };

    // A channel of fewer than 8 bits with its high bits repeated below it.
    static uchar widened(quint32 value, int bits)
    {
        quint32 repeated = 0;
        int filled = 0;
        for (; filled < 8; filled += bits)
            repeated = (repeated << bits) | value;
        return static_cast<uchar>(repeated >> (filled - 8));
    }

    int channelValue(const Channel& channel, quint32 pixel) const
    {
        const quint32 value = (pixel & channel.mask) >> channel.shift;
        if (channel.bits < 8)
            return channel.bits == 0 ? 0 : channel.widened[value];
        return static_cast<int>(value >> (channel.bits - 8));
    }

    QRgb word(quint32 pixel) const
    {
        const int r = channelValue(m_channels[0], pixel);
        const int g = channelValue(m_channels[1], pixel);
        const int b = channelValue(m_channels[2], pixel);
        if (!m_alpha)
            return qRgb(r, g, b);
        return whitebackground::word8(r, g, b, channelValue(m_channels[3], pixel));
    }

    const Header m_header;
    Channel m_channels[4];
    bool m_alpha = false;
    bool m_plain = false;
    std::vector<QRgb> m_table16;
};

BmpRowSource::BmpRowSource(const Header& header)
    : PixelRows(header.width, header.height, header.layout, paletteOf(header.colorTable)),
      m_header(header), m_blockRows(blockRows(header)),
      m_converter(std::make_unique<RowConverter>(header))
{
    if (convertedRows(header))
        m_converted.resize(static_cast<std::size_t>(header.width) *
                           (header.bitsPerPixel == 4 ? 1 : 4));
}

std::shared_ptr<BmpRowSource> BmpRowSource::open(int fd, const Header& header)
{
    const int own = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (own < 0)
        return nullptr;
    std::shared_ptr<BmpRowSource> source(new BmpRowSource(header));
    source->m_fd = own;
    return source;
}

BmpRowSource::~BmpRowSource()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

namespace {

// Reads length bytes at offset; the reason it could not, or empty. Bytes it could not read
// are zeros.
QString readAt(int fd, uchar* to, qint64 length, qint64 offset)
{
    while (length > 0) {
        const ssize_t n = ::pread(fd, to, static_cast<size_t>(length), static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const QString reason = n == 0
                                       ? QStringLiteral("the file was cut short while it was read")
                                       : QString::fromLocal8Bit(std::strerror(errno));
            std::memset(to, 0, static_cast<std::size_t>(length));
            return reason;
        }
        to += n;
        length -= n;
        offset += n;
    }
    return {};
}

// The rows of a file on disk, read in parallel: on a large picture the time goes into
// touching fresh memory, which the processor's cores share out well.
QString decodeFile(int fd, const BmpRowSource::Header& header, QImage& image,
                   const BmpRowSource::RowConverter& converter, LoadControl* control)
{
    uchar* bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const bool direct = header.bitsPerPixel == 1 || header.bitsPerPixel == 8;
    const qint64 total = header.stride * header.height;
    const int threads =
        total < (qint64(16) << 20)
            ? 1
            : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    std::vector<QString> problems(static_cast<std::size_t>(threads));
    auto work = [&](int part) {
        const int first = static_cast<int>(qint64(header.height) * part / threads);
        const int last = static_cast<int>(qint64(header.height) * (part + 1) / threads);
        const int rowsPerBlock = blockRows(header);
        std::vector<uchar> block(direct ? 0
                                        : static_cast<std::size_t>(rowsPerBlock * header.stride));
        QString& problem = problems[static_cast<std::size_t>(part)];
        for (int row = first; row < last && problem.isEmpty(); row += rowsPerBlock) {
            const int rows = std::min(rowsPerBlock, last - row);
            if (control) {
                if (control->cancelled()) {
                    problem = QStringLiteral("cancelled");
                    break;
                }
                control->count(rows * header.stride);
            }
            const qint64 at = header.dataOffset + qint64(row) * header.stride;
            if (!direct)
                problem = readAt(fd, block.data(), rows * header.stride, at);
            for (int i = 0; i < rows && problem.isEmpty(); ++i) {
                const int fileRow = row + i;
                const int y = header.topDown ? fileRow : header.height - 1 - fileRow;
                uchar* out = bits + y * bytesPerLine;
                if (direct)
                    problem = readAt(fd, out, header.stride, at + i * header.stride);
                else
                    converter.convert(block.data() + i * header.stride, out);
            }
        }
    };
    std::vector<std::thread> helpers;
    std::vector<int> ownParts = {0};
    for (int part = 1; part < threads; ++part) {
        try {
            helpers.emplace_back(work, part);
        } catch (const std::system_error&) {
            ownParts.push_back(part); // no thread to be had: this one does it
        }
    }
    for (const int part : ownParts)
        work(part);
    for (std::thread& helper : helpers)
        helper.join();
    for (const QString& problem : problems)
        if (!problem.isEmpty())
            return problem;
    return {};
}

} // namespace

QString BmpRowSource::decode(PictureStream& input, int fd, const Header& header, QImage& image,
                             LoadControl* control)
{
    const QImage::Format format = header.layout == Layout::Bits  ? QImage::Format_Mono
                                  : header.layout == Layout::Rgb ? QImage::Format_RGB32
                                                                 : QImage::Format_Indexed8;
    image = largeImage(header.width, header.height, format);
    if (image.isNull())
        return {}; // out of memory: the image stays null
    if (header.layout != Layout::Rgb)
        image.setColorTable(header.colorTable);
    if (fd >= 0) {
        const QString problem = decodeFile(fd, header, image, RowConverter(header), control);
        if (!problem.isEmpty())
            image = {};
        return problem;
    }
    input.stopKeeping();
    if (!input.skip(header.dataOffset)) {
        image = {};
        return FormatCheck::endedEarly(input);
    }
    std::vector<uchar> line(static_cast<std::size_t>(header.stride));
    const RowConverter converter(header);
    const auto stride = static_cast<qsizetype>(header.stride);
    for (int fileRow = 0; fileRow < header.height; ++fileRow) {
        const int y = header.topDown ? fileRow : header.height - 1 - fileRow;
        if (input.read(reinterpret_cast<char*>(line.data()), stride) != stride) {
            image = {};
            return FormatCheck::endedEarly(input);
        }
        converter.convert(line.data(), image.scanLine(y));
    }
    return {};
}

bool BmpRowSource::readBlock(int fileRow) const
{
    // Rows are asked for from the top, which is the end of a bottom-up file: read the block
    // that ends at the wanted row there, the block that starts with it otherwise.
    int first = fileRow;
    if (!m_header.topDown)
        first = std::max(0, fileRow - m_blockRows + 1);
    const int count = std::min(m_blockRows, m_header.height - first);
    m_block.resize(static_cast<std::size_t>(m_header.stride) * static_cast<std::size_t>(count));
    m_blockFirst = first;
    m_blockCount = count;
    const QString problem = readAt(m_fd, m_block.data(), m_header.stride * count,
                                   m_header.dataOffset + first * m_header.stride);
    if (problem.isEmpty())
        return true;
    if (m_error.isEmpty())
        m_error = problem;
    return false;
}

const unsigned char* BmpRowSource::row(int y) const
{
    const bool converted = convertedRows(m_header);
    if (converted && y == m_convertedY)
        return m_converted.data();
    const int fileRow = m_header.topDown ? y : m_header.height - 1 - y;
    if (m_blockCount == 0 || fileRow < m_blockFirst || fileRow >= m_blockFirst + m_blockCount)
        readBlock(fileRow);
    const uchar* line = m_block.data() + static_cast<std::size_t>(fileRow - m_blockFirst) *
                                             static_cast<std::size_t>(m_header.stride);
    if (!converted)
        return line;
    m_convertedY = y;
    m_converter->convert(line, m_converted.data());
    return m_converted.data();
}

} // namespace kelviq
