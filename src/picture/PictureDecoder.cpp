#include "picture/PictureDecoder.h"

#include <cstring>

namespace kelviq {

ColorValue PictureDecoder::colorAt(const Span& span, int i) const
{
    switch (span.form) {
    case Form::Bits:
    case Form::Bytes:
        return m_palette[static_cast<std::size_t>(indexAt(span, i))];
    case Form::Words: {
        RgbWord word;
        std::memcpy(&word, span.pixels + 4 * static_cast<std::size_t>(i), sizeof word);
        return colorValueFromWord(word);
    }
    }
    return NoColor;
}

} // namespace kelviq
