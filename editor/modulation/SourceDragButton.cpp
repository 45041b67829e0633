#include "editor/modulation/SourceDragButton.h"

#include "editor/modulation/ModulationInterface.h"
#include "gui/Bitmap.h"
#include "gui/Canvas.h"

SourceDragButton::SourceDragButton(gui::Control& parent, gui::Point at, ModulationInterface& modulation, int source,
                                   const gui::Bitmap& picture)
    : gui::Control(parent, gui::Rect::ofSize(at.x, at.y, size, size)), area(modulation), image(picture), number(source)
{
    hint = "Drag this button onto any knob to modulate it with this source. Each connection takes a slot.";
}

gui::PointF SourceDragButton::centreInRoot() const
{
    const gui::Point origin = toRoot({0, 0});
    return {static_cast<float>(origin.x) + size * 0.5f, static_cast<float>(origin.y) + size * 0.5f};
}

void SourceDragButton::paint(gui::Canvas& canvas)
{
    gui::Canvas::Scope scope(canvas);
    if (!hovered)
        canvas.multiplyAlpha(215);
    canvas.drawBitmap(image, (width() - image.width()) / 2, (height() - image.height()) / 2);
}

void SourceDragButton::mouseDown(gui::MouseButton button, gui::Point local, int modifiers)
{
    gui::Control::mouseDown(button, local, modifiers);
    // The cable comes out at the press itself.
    if (button == gui::MouseButton::Left)
        area.beginConnection(*this, local);
}

void SourceDragButton::mouseEntered()
{
    hovered = true;
    invalidate();
    gui::Control::mouseEntered();
}

void SourceDragButton::mouseLeft()
{
    hovered = false;
    invalidate();
    gui::Control::mouseLeft();
}
