#include "picture/GifCheck.h"

#include "picture/FormatCheck.h"
#include "picture/PictureStream.h"

#include <gif_lib.h>
#include <vector>

namespace kelviq {

namespace {

struct Context
{
    PictureStream* input = nullptr;
    bool ended = false;
};

int onRead(GifFileType* gif, GifByteType* data, int length)
{
    auto* context = static_cast<Context*>(gif->UserData);
    const qsizetype got = context->input->read(reinterpret_cast<char*>(data), length);
    if (got != length)
        context->ended = true;
    return static_cast<int>(got);
}

} // namespace

QString GifCheck::problem(PictureStream& input,
                          const std::function<QString(qint64, qint64)>& sizeProblem)
{
    Context context;
    context.input = &input;
    int error = 0;
    GifFileType* gif = DGifOpen(&context, onRead, &error);
    struct Cleanup
    {
        GifFileType* gif;
        ~Cleanup()
        {
            if (gif)
                DGifCloseFile(gif, nullptr);
        }
    } cleanup{gif};
    auto reason = [&](int code) {
        if (context.ended)
            return FormatCheck::endedEarly(input);
        const char* text = GifErrorString(code);
        return FormatCheck::damaged(QStringLiteral("the GIF decoder reports \"%1\"")
                                        .arg(QString::fromLatin1(text ? text : "unknown error")));
    };
    if (!gif)
        return reason(error);

    std::vector<GifPixelType> line;
    while (true) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) == GIF_ERROR)
            return reason(gif->Error);
        switch (record) {
        case IMAGE_DESC_RECORD_TYPE: {
            if (DGifGetImageDesc(gif) == GIF_ERROR)
                return reason(gif->Error);
            const GifImageDesc& frame = gif->Image;
            if (frame.Width <= 0 || frame.Height <= 0)
                return FormatCheck::damaged(QStringLiteral("its first picture has no pixels"));
            const QString tooLarge = sizeProblem(frame.Width, frame.Height);
            if (!tooLarge.isEmpty())
                return tooLarge;
            line.resize(static_cast<std::size_t>(frame.Width));
            for (int y = 0; y < frame.Height; ++y)
                if (DGifGetLine(gif, line.data(), frame.Width) == GIF_ERROR)
                    return reason(gif->Error);
            // The first picture is what Qt's reader shows; later frames are never read.
            return {};
        }
        case EXTENSION_RECORD_TYPE: {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) == GIF_ERROR)
                return reason(gif->Error);
            while (block)
                if (DGifGetExtensionNext(gif, &block) == GIF_ERROR)
                    return reason(gif->Error);
            break;
        }
        case TERMINATE_RECORD_TYPE:
            return FormatCheck::damaged(QStringLiteral("it holds no picture"));
        default:
            return reason(D_GIF_ERR_WRONG_RECORD);
        }
    }
}

} // namespace kelviq
