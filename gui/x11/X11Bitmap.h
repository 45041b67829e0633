#pragma once

#include "gui/Geometry.h"

struct _XDisplay;
struct _XGC;
struct _XImage;

namespace gui {

class Bitmap;

// Copies the pixels of a bitmap to a window. On the usual 24- and 32-bit
// TrueColor visuals the bitmap's own memory is handed to the server as an
// image; any other visual gets each pixel converted on the way.
class X11Bitmap {
public:
    // `visual` is the window's Visual*.
    X11Bitmap(_XDisplay* display, void* visual, int depth);
    ~X11Bitmap();
    X11Bitmap(const X11Bitmap&) = delete;
    X11Bitmap& operator=(const X11Bitmap&) = delete;

    // Copies `area` (in the bitmap's pixels) to the same place in `window`.
    void copy(const Bitmap& bitmap, const Rect& area, unsigned long window, _XGC* gc);

private:
    void release();

    _XDisplay* display;
    void* visual;
    int depth;
    bool direct;
    _XImage* image = nullptr;
    const void* imagePixels = nullptr;
    int imageWidth = 0;
    int imageHeight = 0;
};

} // namespace gui
