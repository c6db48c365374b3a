// Writes a benchmark picture (a 24-bit or 8-bit palette BMP of make_pictures) in another format,
// row by row, so that even the largest needs little memory to make.
//
//   write_formats BMP KIND FILE
//     KIND  png | png-palette | png-interlaced | jpeg | jpeg-progressive | gif |
//           gif-interlaced | pgm | ppm | bmp-rle8 | bmp-16

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <string>
#include <vector>

namespace {

using Row = std::vector<std::uint8_t>; // red, green, blue a pixel

struct Bitmap
{
    std::FILE* file = nullptr;
    int width = 0;
    int height = 0;
    int bits = 0;
    long offset = 0;
    long stride = 0;
    std::uint8_t palette[256][3] = {};

    std::uint32_t u32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24; }

    bool open(const char* path)
    {
        file = std::fopen(path, "rb");
        std::uint8_t head[54 + 1024];
        if (!file || std::fread(head, 1, sizeof head, file) < 54)
            return false;
        offset = static_cast<long>(u32(head + 10));
        width = static_cast<int>(u32(head + 18));
        height = static_cast<int>(u32(head + 22));
        bits = head[28];
        stride = (static_cast<long>(width) * bits + 31) / 32 * 4;
        for (int i = 0; bits == 8 && i < 256; ++i)
            for (int c = 0; c < 3; ++c)
                palette[i][c] = head[54 + 4 * i + 2 - c];
        return bits == 24 || bits == 8;
    }

    // Row y from the top: the file stores them from the bottom.
    void row(int y, Row& rgb, std::vector<std::uint8_t>* indices = nullptr)
    {
        std::vector<std::uint8_t> line(static_cast<std::size_t>(stride));
        std::fseek(file, offset + stride * (height - 1 - y), SEEK_SET);
        if (std::fread(line.data(), 1, line.size(), file) != line.size())
            std::memset(line.data(), 0, line.size());
        rgb.resize(static_cast<std::size_t>(width) * 3);
        if (indices)
            indices->resize(static_cast<std::size_t>(width));
        for (int x = 0; x < width; ++x) {
            const std::uint8_t* p = bits == 8 ? palette[line[x]] : nullptr;
            for (int c = 0; c < 3; ++c)
                rgb[3 * x + c] = p ? p[c] : line[3 * x + 2 - c];
            if (indices)
                (*indices)[x] = bits == 8 ? line[x] : (rgb[3 * x] < 128 ? 0 : 255);
        }
    }
};

bool writePng(Bitmap& bmp, std::FILE* out, bool palette, bool interlaced)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_init_io(png, out);
    png_set_IHDR(png, info, bmp.width, bmp.height, 8,
                 palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_color colors[256];
    for (int i = 0; i < 256; ++i)
        colors[i] = {static_cast<png_byte>(i), static_cast<png_byte>(i), static_cast<png_byte>(i)};
    if (palette)
        png_set_PLTE(png, info, colors, 256);
    png_write_info(png, info);
    const int passes = interlaced ? png_set_interlace_handling(png) : 1;
    Row rgb;
    std::vector<std::uint8_t> grey;
    for (int pass = 0; pass < passes; ++pass) {
        for (int y = 0; y < bmp.height; ++y) {
            bmp.row(y, rgb, &grey);
            png_write_row(png, palette ? grey.data() : rgb.data());
        }
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

bool writeJpeg(Bitmap& bmp, std::FILE* out, bool progressive)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = static_cast<JDIMENSION>(bmp.width);
    info.image_height = static_cast<JDIMENSION>(bmp.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    if (progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    Row rgb;
    for (int y = 0; y < bmp.height; ++y) {
        bmp.row(y, rgb);
        JSAMPROW rows[1] = {rgb.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

bool writeGif(Bitmap& bmp, const char* path, bool interlaced)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path, false, &error);
    if (!gif)
        return false;
    ColorMapObject* map = GifMakeMapObject(256, nullptr);
    for (int i = 0; i < 256; ++i)
        map->Colors[i] = {static_cast<GifByteType>(i), static_cast<GifByteType>(i),
                          static_cast<GifByteType>(i)};
    bool ok = EGifPutScreenDesc(gif, bmp.width, bmp.height, 8, 0, map) == GIF_OK &&
              EGifPutImageDesc(gif, 0, 0, bmp.width, bmp.height, interlaced, nullptr) == GIF_OK;
    Row rgb;
    std::vector<std::uint8_t> indices;
    const int starts[4] = {0, 4, 2, 1};
    const int steps[4] = {8, 8, 4, 2};
    for (int pass = 0; ok && pass < (interlaced ? 4 : 1); ++pass) {
        for (int y = interlaced ? starts[pass] : 0; ok && y < bmp.height;
             y += interlaced ? steps[pass] : 1) {
            bmp.row(y, rgb, &indices);
            ok = EGifPutLine(gif, indices.data(), bmp.width) == GIF_OK;
        }
    }
    GifFreeMapObject(map);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

void put16(std::FILE* f, unsigned v)
{
    std::fputc(static_cast<int>(v & 0xff), f);
    std::fputc(static_cast<int>((v >> 8) & 0xff), f);
}

void put32(std::FILE* f, std::uint32_t v)
{
    put16(f, v & 0xffff);
    put16(f, v >> 16);
}

// 16-bit 5-6-5 or 8-bit run-length compressed, top-down rows, headers of 40 bytes.
bool writeBmp(Bitmap& bmp, std::FILE* out, bool rle)
{
    const std::uint32_t colors = rle ? 256 : 0;
    const std::uint32_t offset = 14 + 40 + (rle ? colors * 4 : 12);
    std::fputs("BM", out);
    put32(out, 0);
    put32(out, 0);
    put32(out, offset);
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(bmp.width));
    put32(out, static_cast<std::uint32_t>(-bmp.height));
    put16(out, 1);
    put16(out, rle ? 8 : 16);
    put32(out, rle ? 1 : 3);
    put32(out, 0);
    put32(out, 2835);
    put32(out, 2835);
    put32(out, colors);
    put32(out, 0);
    if (rle) {
        for (std::uint32_t i = 0; i < colors; ++i)
            put32(out, i * 0x010101u);
    } else {
        put32(out, 0xf800);
        put32(out, 0x07e0);
        put32(out, 0x001f);
    }
    Row rgb;
    std::vector<std::uint8_t> grey;
    for (int y = 0; y < bmp.height; ++y) {
        bmp.row(y, rgb, &grey);
        if (!rle) {
            for (int x = 0; x < bmp.width; ++x)
                put16(out,
                      (rgb[3 * x] >> 3) << 11 | (rgb[3 * x + 1] >> 2) << 5 | rgb[3 * x + 2] >> 3);
            if (bmp.width & 1)
                put16(out, 0);
            continue;
        }
        for (int x = 0; x < bmp.width;) {
            int run = 1;
            while (x + run < bmp.width && run < 255 && grey[x + run] == grey[x])
                ++run;
            std::fputc(run, out);
            std::fputc(grey[x], out);
            x += run;
        }
        std::fputc(0, out);
        std::fputc(y + 1 == bmp.height ? 1 : 0, out);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fputs("usage: write_formats BMP KIND FILE\n", stderr);
        return 2;
    }
    Bitmap bmp;
    if (!bmp.open(argv[1])) {
        std::fprintf(stderr, "%s: not a 24-bit or 8-bit bench picture\n", argv[1]);
        return 1;
    }
    const std::string kind = argv[2];
    bool ok = false;
    if (kind == "gif" || kind == "gif-interlaced") {
        ok = writeGif(bmp, argv[3], kind == "gif-interlaced");
    } else {
        std::FILE* out = std::fopen(argv[3], "wb");
        if (!out) {
            std::perror(argv[3]);
            return 1;
        }
        if (kind == "png" || kind == "png-palette" || kind == "png-interlaced") {
            ok = writePng(bmp, out, kind == "png-palette", kind == "png-interlaced");
        } else if (kind == "jpeg" || kind == "jpeg-progressive") {
            ok = writeJpeg(bmp, out, kind == "jpeg-progressive");
        } else if (kind == "pgm" || kind == "ppm") {
            const bool grey = kind == "pgm";
            std::fprintf(out, "P%c\n%d %d\n255\n", grey ? '5' : '6', bmp.width, bmp.height);
            Row rgb;
            std::vector<std::uint8_t> indices;
            for (int y = 0; y < bmp.height; ++y) {
                bmp.row(y, rgb, &indices);
                if (grey)
                    std::fwrite(indices.data(), 1, indices.size(), out);
                else
                    std::fwrite(rgb.data(), 1, rgb.size(), out);
            }
            ok = true;
        } else if (kind == "bmp-rle8" || kind == "bmp-16") {
            ok = writeBmp(bmp, out, kind == "bmp-rle8");
        }
        ok = std::fclose(out) == 0 && ok;
    }
    std::fclose(bmp.file);
    if (!ok)
        std::fprintf(stderr, "%s: could not write %s\n", argv[3], argv[2]);
    return ok ? 0 : 1;
}
