#include "gui/x11/X11Bitmap.h"

#include "gui/Bitmap.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdlib>

namespace gui {

X11Bitmap::X11Bitmap(Display* d, void* v, int bits) : display(d), visual(v), depth(bits)
{
    const Visual* vis = static_cast<const Visual*>(visual);
    direct = (depth == 24 || depth == 32) && vis->red_mask == 0xff0000 && vis->green_mask == 0xff00 &&
             vis->blue_mask == 0xff;
}

X11Bitmap::~X11Bitmap() { release(); }

void X11Bitmap::release()
{
    if (!image)
        return;
    if (direct)
        image->data = nullptr; // the bitmap's memory, not ours to free
    XDestroyImage(image);
    image = nullptr;
}

void X11Bitmap::copy(const Bitmap& bitmap, const Rect& area, unsigned long window, GC gc)
{
    const Rect r = area.intersection({0, 0, bitmap.width(), bitmap.height()});
    if (r.empty())
        return;
    if (!image || imagePixels != bitmap.row(0) || imageWidth != bitmap.width() || imageHeight != bitmap.height()) {
        release();
        imageWidth = bitmap.width();
        imageHeight = bitmap.height();
        imagePixels = bitmap.row(0);
        if (direct) {
            image = XCreateImage(display, static_cast<Visual*>(visual), static_cast<unsigned>(depth), ZPixmap, 0,
                                 const_cast<char*>(reinterpret_cast<const char*>(bitmap.row(0))),
                                 static_cast<unsigned>(imageWidth), static_cast<unsigned>(imageHeight), 32,
                                 imageWidth * 4);
            if (image)
                image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        } else {
            image = XCreateImage(display, static_cast<Visual*>(visual), static_cast<unsigned>(depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(imageWidth), static_cast<unsigned>(imageHeight), 32, 0);
            if (image)
                image->data = static_cast<char*>(std::calloc(static_cast<std::size_t>(image->bytes_per_line),
                                                             static_cast<std::size_t>(imageHeight)));
        }
        if (!image)
            return;
    }
    if (!direct) {
        // Spread each channel over the visual's mask.
        auto place = [](unsigned value, unsigned long mask) {
            if (!mask)
                return 0ul;
            const int shift = std::countr_zero(mask);
            const int bits = std::popcount(mask);
            return (static_cast<unsigned long>(value >> (8 - std::min(bits, 8))) << shift) & mask;
        };
        const Visual* vis = static_cast<const Visual*>(visual);
        for (int y = r.top; y < r.bottom; ++y) {
            const Pixel* row = bitmap.row(y);
            for (int x = r.left; x < r.right; ++x)
                XPutPixel(image, x, y,
                          place(redOf(row[x]), vis->red_mask) | place(greenOf(row[x]), vis->green_mask) |
                              place(blueOf(row[x]), vis->blue_mask));
        }
    }
    XPutImage(display, window, gc, image, r.left, r.top, r.left, r.top, static_cast<unsigned>(r.width()),
              static_cast<unsigned>(r.height()));
}

} // namespace gui
