#pragma once

#include "gui/Control.h"

namespace gui {

class Bitmap;

// Shows a bitmap (not owned) at its natural size; the mouse passes through
// where the image is transparent.
class ImageControl : public Control {
public:
    ImageControl(Control& parent, Point position, const Bitmap& bitmap);

    void setBitmap(const Bitmap& bitmap);
    void paint(Canvas& canvas) override;
    int opacityAt(Point local) const override;

private:
    const Bitmap* image;
};

} // namespace gui
