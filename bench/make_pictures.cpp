// Writes the benchmark pictures as uncompressed BMP files, or as PNG files when FILE ends in
// .png, row by row, so that even the largest needs almost no memory to make. Every picture is
// the same on every run.
//
//   make_pictures KIND SIZE BITS FILE
//     KIND  logo | noise | stripes | solid | photo (PNG only: the logo as photographed, every
//           pixel a little off its colour)
//     SIZE  width and height in pixels: N for a square, WxH otherwise
//     BITS  BMP: 24, 8 (palette) or 1 (palette); PNG: 48 (16-bit RGB) or 8 (grey)

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

using Row = std::vector<std::uint8_t>; // one byte per pixel: 1 = black, 0 = white

std::uint32_t hash(std::uint32_t v)
{
    v ^= v >> 16;
    v *= 0x7feb352du;
    v ^= v >> 15;
    v *= 0x846ca68bu;
    v ^= v >> 16;
    return v;
}

// A made-up company logo, drawn in a unit square: a ring, a bar, a diamond and three lines of
// blocky lettering. Scales with the picture, so a bigger picture has longer runs.
void logoRow(int y, int width, int height, Row& row)
{
    const double v = (y + 0.5) / height;
    const double cell = 1.0 / 220; // one block of a letter
    for (int x = 0; x < width; ++x) {
        const double u = (x + 0.5) / width;
        bool black = false;
        const double dx = u - 0.28;
        const double dy = v - 0.3;
        const double r2 = dx * dx + dy * dy;
        black = black || (r2 < 0.22 * 0.22 && r2 > 0.11 * 0.11);             // ring
        black = black || (r2 < 0.05 * 0.05);                                 // its centre
        black = black || (u > 0.55 && u < 0.93 && v > 0.08 && v < 0.2);      // bar
        black = black || (u > 0.55 && u < 0.62 && v > 0.08 && v < 0.5);      // its leg
        black = black || (std::fabs(u - 0.78) + std::fabs(v - 0.37) < 0.13); // diamond
        if (!black && u > 0.06 && u < 0.94 && v > 0.58 && v < 0.94) {
            const int cx = static_cast<int>((u - 0.06) / cell);
            const int cy = static_cast<int>((v - 0.58) / cell);
            const int glyph = cx / 6;
            const int line = cy / 10;
            const int gx = cx % 6;
            const int gy = cy % 10;
            if (gx < 5 && gy < 7 && line < 7) {
                const std::uint32_t shape =
                    hash(static_cast<std::uint32_t>(glyph * 31 + line * 977) + 1);
                // Letters have a stem on the left and about half of the other blocks set.
                black = gx == 0 || ((shape >> ((gx - 1) * 7 + gy)) & 1) != 0;
            }
        }
        row[static_cast<std::size_t>(x)] = black ? 1 : 0;
    }
}

void put16(std::FILE* f, std::uint16_t v)
{
    const std::uint8_t b[2] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8)};
    std::fwrite(b, 1, 2, f);
}

void put32(std::FILE* f, std::uint32_t v)
{
    put16(f, static_cast<std::uint16_t>(v));
    put16(f, static_cast<std::uint16_t>(v >> 16));
}

int usage()
{
    std::fputs("usage: make_pictures logo|noise|stripes|solid|photo SIZE 24|8|1|48 FILE\n", stderr);
    return 2;
}

void putBig32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// One PNG chunk: length, type, data and the checksum of type and data.
void writeChunk(std::FILE* f, const char* type, const std::vector<std::uint8_t>& data)
{
    std::vector<std::uint8_t> chunk;
    putBig32(chunk, static_cast<std::uint32_t>(data.size()));
    chunk.insert(chunk.end(), type, type + 4);
    chunk.insert(chunk.end(), data.begin(), data.end());
    const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
    putBig32(chunk, static_cast<std::uint32_t>(crc));
    std::fwrite(chunk.data(), 1, chunk.size(), f);
}

// A PNG of the kind, 16-bit RGB or 8-bit grey, deflated a row at a time. A photographed logo
// has every channel of every pixel off by a little; the others are black and white.
int writePng(std::FILE* f, const std::string& kind, int width, int height, int bits)
{
    const int channels = bits == 48 ? 3 : 1;
    const int bytesPerSample = bits == 48 ? 2 : 1;
    std::fwrite("\x89PNG\r\n\x1a\n", 1, 8, f);
    std::vector<std::uint8_t> header;
    putBig32(header, static_cast<std::uint32_t>(width));
    putBig32(header, static_cast<std::uint32_t>(height));
    header.push_back(static_cast<std::uint8_t>(bytesPerSample * 8));
    header.push_back(channels == 3 ? 2 : 0); // RGB or grey
    header.insert(header.end(), {0, 0, 0});
    writeChunk(f, "IHDR", header);

    z_stream zip{};
    deflateInit(&zip, 6);
    const std::size_t rowBytes = 1 + std::size_t(width) * channels * bytesPerSample;
    std::vector<std::uint8_t> raw(rowBytes);
    std::vector<std::uint8_t> packed(1 << 20);
    Row pixels(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        if (kind == "solid")
            std::fill(pixels.begin(), pixels.end(), 1);
        else
            logoRow(y, width, height, pixels);
        raw[0] = 0; // no filter
        std::uint8_t* out = raw.data() + 1;
        for (int x = 0; x < width; ++x) {
            const bool black = pixels[static_cast<std::size_t>(x)] != 0;
            for (int c = 0; c < channels; ++c) {
                int value = black ? 0 : 0xffff;
                if (kind == "photo")
                    value =
                        (black ? 0x0800 : 0xf000) +
                        static_cast<int>(hash(static_cast<std::uint32_t>((y * 40009 + x) * 3 + c)) &
                                         0x0fff) -
                        0x0800;
                if (bytesPerSample == 2) {
                    *out++ = static_cast<std::uint8_t>(value >> 8);
                    *out++ = static_cast<std::uint8_t>(value);
                } else {
                    *out++ = static_cast<std::uint8_t>(value >> 8);
                }
            }
        }
        zip.next_in = raw.data();
        zip.avail_in = static_cast<uInt>(raw.size());
        const int flush = y == height - 1 ? Z_FINISH : Z_NO_FLUSH;
        do {
            zip.next_out = packed.data();
            zip.avail_out = static_cast<uInt>(packed.size());
            deflate(&zip, flush);
            const std::size_t produced = packed.size() - zip.avail_out;
            if (produced > 0)
                writeChunk(
                    f, "IDAT",
                    std::vector<std::uint8_t>(packed.begin(), packed.begin() + long(produced)));
        } while (zip.avail_out == 0 || (flush == Z_FINISH && zip.avail_in > 0));
    }
    deflateEnd(&zip);
    writeChunk(f, "IEND", {});
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 5)
        return usage();
    const std::string kind = argv[1];
    int width = 0;
    int height = 0;
    if (std::sscanf(argv[2], "%dx%d", &width, &height) == 1)
        height = width;
    const int bits = std::atoi(argv[3]);
    const std::string file = argv[4];
    const bool png = file.size() > 4 && file.compare(file.size() - 4, 4, ".png") == 0;
    if (width <= 0 || height <= 0 || width > 40000 || height > 40000 ||
        (png ? bits != 48 && bits != 8 : bits != 24 && bits != 8 && bits != 1))
        return usage();
    if (png ? kind != "logo" && kind != "photo" && kind != "solid"
            : kind != "logo" && kind != "noise" && kind != "stripes" && kind != "solid")
        return usage();

    std::FILE* f = std::fopen(argv[4], "wb");
    if (!f) {
        std::perror(argv[4]);
        return 1;
    }
    if (png) {
        writePng(f, kind, width, height, bits);
        if (std::fclose(f) != 0) {
            std::perror(argv[4]);
            return 1;
        }
        std::printf("%s: %s %dx%d %d-bit PNG\n", argv[4], kind.c_str(), width, height, bits);
        return 0;
    }
    const std::uint32_t stride = ((static_cast<std::uint32_t>(width) * bits + 31) / 32) * 4;
    const std::uint32_t colors = bits == 24 ? 0 : (1u << bits);
    const std::uint32_t offset = 14 + 40 + colors * 4;
    const std::uint64_t fileSize =
        offset + std::uint64_t(stride) * static_cast<std::uint64_t>(height);
    std::fputs("BM", f);
    put32(f, fileSize > 0xffffffffu ? 0 : static_cast<std::uint32_t>(fileSize));
    put32(f, 0);
    put32(f, offset);
    put32(f, 40);
    put32(f, static_cast<std::uint32_t>(width));
    put32(f, static_cast<std::uint32_t>(height)); // bottom-up, as most BMP files are
    put16(f, 1);
    put16(f, static_cast<std::uint16_t>(bits));
    put32(f, 0); // uncompressed
    put32(f, 0);
    put32(f, 2835);
    put32(f, 2835);
    put32(f, colors);
    put32(f, 0);
    // Palette: black first, white last, greys between (unused) for the 8-bit one.
    for (std::uint32_t i = 0; i < colors; ++i) {
        const auto grey = static_cast<std::uint8_t>(colors == 2 ? i * 255 : i);
        const std::uint8_t entry[4] = {grey, grey, grey, 0};
        std::fwrite(entry, 1, 4, f);
    }
    const std::uint8_t whiteIndex = bits == 1 ? 1 : 255;

    Row pixels(static_cast<std::size_t>(width));
    std::vector<std::uint8_t> line(stride);
    std::uint64_t black = 0;
    for (int fileRow = 0; fileRow < height; ++fileRow) {
        const int y = height - 1 - fileRow;
        if (kind == "logo") {
            logoRow(y, width, height, pixels);
        } else {
            for (int x = 0; x < width; ++x) {
                bool b = true;
                if (kind == "noise")
                    b = hash(static_cast<std::uint32_t>(y) * 40009u +
                             static_cast<std::uint32_t>(x)) &
                        1;
                else if (kind == "stripes")
                    b = (x & 1) == 0;
                pixels[static_cast<std::size_t>(x)] = b ? 1 : 0;
            }
        }
        std::memset(line.data(), 0, line.size());
        for (int x = 0; x < width; ++x) {
            const bool b = pixels[static_cast<std::size_t>(x)] != 0;
            black += b;
            if (bits == 24) {
                const std::uint8_t c = b ? 0 : 255;
                std::memset(&line[static_cast<std::size_t>(x) * 3], c, 3);
            } else if (bits == 8) {
                line[static_cast<std::size_t>(x)] = b ? 0 : whiteIndex;
            } else if (!b) {
                line[static_cast<std::size_t>(x) / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
        }
        std::fwrite(line.data(), 1, line.size(), f);
    }
    if (std::fclose(f) != 0) {
        std::perror(argv[4]);
        return 1;
    }
    std::printf("%s: %s %dx%d %d-bit, %.1f%% black\n", argv[4], kind.c_str(), width, height, bits,
                100.0 * static_cast<double>(black) / (double(width) * height));
    return 0;
}
