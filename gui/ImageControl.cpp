#include "gui/ImageControl.h"

#include "gui/Bitmap.h"
#include "gui/Canvas.h"

namespace gui {

ImageControl::ImageControl(Control& parent, Point position, const Bitmap& bitmap)
    : Control(parent, Rect::ofSize(position.x, position.y, bitmap.width(), bitmap.height())), image(&bitmap)
{
}

void ImageControl::setBitmap(const Bitmap& bitmap)
{
    image = &bitmap;
    setSize(bitmap.width(), bitmap.height());
    invalidate();
}

void ImageControl::paint(Canvas& canvas) { canvas.drawBitmap(*image, 0, 0); }

int ImageControl::opacityAt(Point local) const { return static_cast<int>(alphaOf(image->pixelAt(local.x, local.y))); }

} // namespace gui
