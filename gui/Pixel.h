#pragma once

#include <cstdint>

namespace gui {

// A pixel as the toolkit stores and draws it: one 32-bit word 0xAARRGGBB,
// straight (not premultiplied) alpha. In memory on a little-endian machine
// the bytes run B, G, R, A, which is what an X server's 24- and 32-bit
// TrueColor visuals take, so the off-screen bitmap goes to a window as is.
using Pixel = std::uint32_t;

constexpr Pixel rgba(unsigned r, unsigned g, unsigned b, unsigned a = 255)
{
    return (Pixel(a & 255) << 24) | (Pixel(r & 255) << 16) | (Pixel(g & 255) << 8) | Pixel(b & 255);
}

constexpr unsigned alphaOf(Pixel p) { return p >> 24; }
constexpr unsigned redOf(Pixel p) { return (p >> 16) & 255; }
constexpr unsigned greenOf(Pixel p) { return (p >> 8) & 255; }
constexpr unsigned blueOf(Pixel p) { return p & 255; }

constexpr Pixel withAlpha(Pixel p, unsigned a) { return (p & 0x00ffffffu) | (Pixel(a & 255) << 24); }

// x * y / 255, rounded, for x and y in 0..255.
constexpr unsigned mul255(unsigned x, unsigned y)
{
    unsigned t = x * y + 128;
    return (t + (t >> 8)) >> 8;
}

// `src` drawn over `dst` with coverage `cover` (0..255) on top of the
// source's own alpha. The result's alpha is that of the composite, so an
// opaque destination stays opaque.
inline Pixel blendOver(Pixel dst, Pixel src, unsigned cover = 255)
{
    const unsigned sa = mul255(alphaOf(src), cover);
    if (sa == 0)
        return dst;
    if (sa == 255)
        return src | 0xff000000u;
    const unsigned da = alphaOf(dst);
    const unsigned inv = 255 - sa;
    if (da == 255) {
        // Over an opaque pixel (the window's picture, nearly always) the
        // result stays opaque: the same sums as below, divided by the
        // constant 255 instead of by the composite's alpha.
        auto mix = [&](unsigned s, unsigned d) { return (s * sa + d * inv + 127) / 255; };
        return rgba(mix(redOf(src), redOf(dst)), mix(greenOf(src), greenOf(dst)), mix(blueOf(src), blueOf(dst)), 255);
    }
    const unsigned outA = sa + mul255(da, inv);
    if (outA == 0)
        return 0;
    // Colour channels weighted by their alphas, then un-premultiplied.
    auto channel = [&](unsigned s, unsigned d) {
        const unsigned num = s * sa + mul255(d, da) * inv;
        return (num + outA / 2) / outA;
    };
    return rgba(channel(redOf(src), redOf(dst)), channel(greenOf(src), greenOf(dst)),
                channel(blueOf(src), blueOf(dst)), outA);
}

} // namespace gui
