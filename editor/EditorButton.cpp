#include "editor/EditorButton.h"

#include "editor/Drawing.h"
#include "editor/EditorStyle.h"
#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/UserInterface.h"

EditorButton::EditorButton(gui::Control& parent, const gui::Rect& frame, const std::string& initial,
                           const gui::Bitmap* icon)
    : gui::Control(parent, frame), label(userInterface().createText(EditorStyle::labelFont())), iconImage(icon)
{
    caption = initial;
}

void EditorButton::setIcon(const gui::Bitmap* image)
{
    iconImage = image;
    invalidate();
}

void EditorButton::setFont(const gui::Font& font)
{
    label->setFont(font);
    invalidate();
}

void EditorButton::paintFace(gui::Canvas& canvas)
{
    using namespace EditorStyle;
    const gui::Rect r{0, 0, width(), height()};
    const bool on = lit.get();
    gui::Pixel face = pressed ? facePressed : hovered ? faceHover : EditorStyle::face;
    gui::Pixel rim = edge;
    if (on) {
        const gui::Pixel colour = tint ? tint : accent;
        face = gui::blendOver(face, gui::withAlpha(colour, pressed ? 60 : 44));
        rim = gui::blendOver(edge, gui::withAlpha(colour, 170));
    }
    Drawing::plate(canvas, r, 3.5f, face, rim);
}

void EditorButton::paint(gui::Canvas& canvas)
{
    using namespace EditorStyle;
    paintFace(canvas);
    gui::Canvas::Scope scope(canvas);
    if (!enabled.get() || dimmed.get())
        canvas.multiplyAlpha(110);
    const int shift = pressed ? 1 : 0;
    if (iconImage)
        canvas.drawBitmap(*iconImage, (width() - iconImage->width()) / 2, (height() - iconImage->height()) / 2 + shift);
    if (!caption.get().empty()) {
        const gui::Pixel colour = lit.get() ? (tint ? tint : accent) : hovered ? gui::rgba(240, 242, 246) : EditorStyle::text;
        canvas.drawText(*label, caption.get(), gui::Rect{5, shift, width() - 5, height() + shift}, colour, align);
    }
}

void EditorButton::mouseDown(gui::MouseButton button, gui::Point local, int modifiers)
{
    pressed = true;
    invalidate();
    gui::Control::mouseDown(button, local, modifiers);
}

void EditorButton::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    pressed = false;
    invalidate();
    gui::Control::mouseUp(button, local, modifiers);
}

void EditorButton::mouseEntered()
{
    hovered = true;
    invalidate();
    gui::Control::mouseEntered();
}

void EditorButton::mouseLeft()
{
    hovered = false;
    invalidate();
    gui::Control::mouseLeft();
}

bool EditorButton::keyPressed(const gui::KeyEvent& key)
{
    if (key.code == gui::KeyCode::Enter || key.text == " ") {
        click();
        return true;
    }
    return false;
}
