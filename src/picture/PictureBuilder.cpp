#include "picture/PictureBuilder.h"

#include "picture/BmpRowSource.h"
#include "picture/ColorClasses.h"
#include "picture/ExifOrientation.h"
#include "picture/RgbColor.h"

#include <cstring>

namespace kelviq {

namespace {

using Form = PictureDecoder::Form;
using Layout = PixelRows::Layout;

} // namespace

PictureBuilder::Result PictureBuilder::build(PictureDecoder& decoder, int orientation,
                                             ColorClasses* classes)
{
    Result result;
    const int width = decoder.width();
    const int height = decoder.height();
    const bool swapped = ExifOrientation::swapsSides(orientation);
    const Layout stored = decoder.layout();
    const bool asClasses = classes && stored == Layout::Rgb;
    result.layout = asClasses ? Layout::Indexed : stored;
    const QImage::Format format = result.layout == Layout::Bits      ? QImage::Format_Mono
                                  : result.layout == Layout::Indexed ? QImage::Format_Indexed8
                                                                     : QImage::Format_RGB32;
    QImage image =
        BmpRowSource::largeImage(swapped ? height : width, swapped ? width : height, format);
    if (image.isNull()) {
        result.outOfMemory = true;
        result.problem = QStringLiteral("not enough memory");
        return result;
    }
    // Pixels no span covers, where the picture has any.
    if (!decoder.coversPicture()) {
        const quint32 fill = decoder.fill();
        if (asClasses)
            image.fill(static_cast<uint>(classes->classOf(colorValueFromWord(fill))));
        else if (format == QImage::Format_Mono)
            image.fill(fill & 1);
        else
            image.fill(fill);
    }

    uchar* const bits = image.bits();
    const qsizetype bytesPerLine = image.bytesPerLine();
    const int bytesPerPixel = format == QImage::Format_RGB32 ? 4 : 1;
    PictureDecoder::Span span;
    while (decoder.next(span)) {
        const bool plainRow = orientation == 1 && span.x == 0 && span.step == 1 &&
                              ((span.form == Form::Bits) == (format == QImage::Format_Mono)) &&
                              !asClasses;
        if (plainRow) {
            const std::size_t bytes = span.form == Form::Bits ? (span.count + 7) / 8
                                      : span.form == Form::Words
                                          ? 4 * static_cast<std::size_t>(span.count)
                                          : static_cast<std::size_t>(span.count);
            std::memcpy(bits + span.y * bytesPerLine, span.pixels, bytes);
            continue;
        }
        // Where the span's first and second pixels are shown: the rest follow in a line.
        int x0 = span.x;
        int y0 = span.y;
        ExifOrientation::place(orientation, width, height, x0, y0);
        int x1 = span.x + span.step;
        int y1 = span.y;
        ExifOrientation::place(orientation, width, height, x1, y1);
        const qsizetype dx = x1 - x0;
        const qsizetype dy = y1 - y0;
        for (int i = 0; i < span.count; ++i) {
            const qsizetype x = x0 + dx * i;
            const qsizetype y = y0 + dy * i;
            uchar* line = bits + y * bytesPerLine;
            if (format == QImage::Format_Mono) {
                const uchar bit = static_cast<uchar>(0x80 >> (x & 7));
                if (PictureDecoder::indexAt(span, i) & 1)
                    line[x >> 3] |= bit;
                else
                    line[x >> 3] &= static_cast<uchar>(~bit);
            } else if (asClasses) {
                line[x] = classes->classOf(decoder.colorAt(span, i));
            } else if (bytesPerPixel == 1) {
                line[x] = static_cast<uchar>(PictureDecoder::indexAt(span, i));
            } else {
                std::memcpy(line + 4 * x, span.pixels + 4 * static_cast<std::size_t>(i), 4);
            }
        }
    }
    if (!decoder.problem().isEmpty() || !decoder.finish()) {
        result.problem = decoder.problem();
        result.outOfMemory = decoder.outOfMemory();
        return result;
    }
    result.palette = asClasses ? classes->palette() : decoder.palette();
    if (format != QImage::Format_RGB32) {
        QList<QRgb> table;
        const int entries = format == QImage::Format_Mono ? 2 : 256;
        for (int i = 0; i < entries; ++i)
            table.append(rgbFromColorValue(result.palette[static_cast<std::size_t>(i)]));
        image.setColorTable(table);
    }
    result.image = std::move(image);
    return result;
}

} // namespace kelviq
