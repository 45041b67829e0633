#include "gui/Button.h"

#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/UserInterface.h"

namespace gui {

Button::Button(Control& parent, const Rect& frame, const std::string& initial)
    : Control(parent, frame), text(userInterface().createText(Font{}))
{
    caption = initial;
}

void Button::paint(Canvas& canvas)
{
    const Rect r{0, 0, width(), height()};
    canvas.fillRect(r, pressed ? pressedFace : hovered ? hoverFace : face);
    canvas.frameRect(r, frameColour);
    if (image)
        canvas.drawBitmap(*image, (width() - image->width()) / 2, (height() - image->height()) / 2);
    if (!caption.get().empty())
        canvas.drawText(*text, caption.get(), r.inset(4), textColour, Align::Center);
}

void Button::mouseDown(MouseButton button, Point local, int modifiers)
{
    pressed = true;
    invalidate();
    Control::mouseDown(button, local, modifiers);
}

void Button::mouseUp(MouseButton button, Point local, int modifiers)
{
    pressed = false;
    invalidate();
    Control::mouseUp(button, local, modifiers);
}

void Button::mouseEntered()
{
    hovered = true;
    invalidate();
    Control::mouseEntered();
}

void Button::mouseLeft()
{
    hovered = false;
    invalidate();
    Control::mouseLeft();
}

bool Button::keyPressed(const KeyEvent& key)
{
    if (key.code == KeyCode::Enter || key.text == " ") {
        click();
        return true;
    }
    return false;
}

} // namespace gui
