#include "gui/Bitmap.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace gui {

Bitmap::Bitmap(int width, int height) { resize(width, height); }

Bitmap::~Bitmap() = default;

void Bitmap::Free::operator()(Pixel* p) const { std::free(p); }

void Bitmap::allocate()
{
    // calloc: a large buffer comes as zero pages that cost nothing until a
    // row is written, so a decoder that fails early on a huge header does
    // not pay for the whole image.
    pixels.reset(static_cast<Pixel*>(std::calloc(static_cast<std::size_t>(w) * h, sizeof(Pixel))));
    if (!pixels) {
        w = h = 0;
        throw std::bad_alloc();
    }
}

void Bitmap::resize(int width, int height)
{
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == w && height == h)
        return;
    pixels.reset();
    w = width;
    h = height;
    if (w > 0 && h > 0)
        allocate();
    invalidate(Rect{0, 0, w, h});
}

Pixel Bitmap::convertPixel(std::uint32_t rgbaLowFirst) const
{
    return rgba(rgbaLowFirst & 255, (rgbaLowFirst >> 8) & 255, (rgbaLowFirst >> 16) & 255, rgbaLowFirst >> 24);
}

void Bitmap::setRow(int y, std::span<const std::uint32_t> rgbaRow)
{
    if (y < 0 || y >= h)
        return;
    Pixel* out = row(y);
    const std::size_t n = std::min(rgbaRow.size(), static_cast<std::size_t>(w));
    for (std::size_t x = 0; x < n; ++x)
        out[x] = convertPixel(rgbaRow[x]);
    invalidate(Rect{0, y, w, y + 1});
}

Pixel Bitmap::readPixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return 0;
    return row(y)[x];
}

void Bitmap::writePixel(int x, int y, Pixel p)
{
    if (x < 0 || y < 0 || x >= w || y >= h)
        return;
    Pixel& dst = row(y)[x];
    dst = (alphaOf(p) == 255 || transparent) ? p : blendOver(dst, p);
}

} // namespace gui
