#pragma once

#include "trace/ColorValue.h"
#include "trace/OverWhite.h"

#include <cstdint>

namespace kelviq {

// Transparent pixels traced as they look painted on white, rounded exactly as Qt's painter
// rounds them, so that decoders of our own give the colours a picture has always been traced
// in: 8-bit samples as trace/OverWhite paints them, 16-bit ones as Qt paints those.
namespace whitebackground {

// x / 65535, rounded, as Qt's painter divides.
constexpr std::uint32_t divide65535(std::uint64_t x)
{
    return static_cast<std::uint32_t>((x + (x >> 16) + 0x8000) >> 16);
}

// A 16-bit sample as 8 bits, rounded as Qt converts.
constexpr int from16(int v)
{
    return (v + 128 - ((v + 128) >> 8)) >> 8;
}

// A channel c of alpha a over white, 8 bits a sample.
constexpr int channel8(int c, int a)
{
    return OverWhite::channel(static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(a));
}

// The same at 16 bits a sample: premultiplied at 16 bits, then blended with white at 8.
constexpr int channel16(int c, int a)
{
    return from16(static_cast<int>(divide65535(std::uint64_t(c) * std::uint64_t(a)))) +
           OverWhite::channel(0, static_cast<std::uint8_t>(from16(a)));
}

constexpr RgbWord word8(int r, int g, int b, int a)
{
    return wordFromColorValue(colorValue(channel8(r, a), channel8(g, a), channel8(b, a)));
}

} // namespace whitebackground

} // namespace kelviq
