#pragma once

#include "gui/Canvas.h"
#include "gui/Control.h"
#include "gui/Text.h"

#include <memory>
#include <string>

namespace gui {
class Bitmap;
}

// A push button of the editor: a rounded plate with a caption or an icon,
// lit while the mouse is over it, pressed in while held. `clicked` fires on
// a release over the button. A button can also show a state of its own
// (`lit`: the A/B slot, the active filter), drawn in the accent colour or,
// when given, in its own `tint`.
class EditorButton : public gui::Control {
public:
    EditorButton(gui::Control& parent, const gui::Rect& frame, const std::string& caption = {},
                 const gui::Bitmap* icon = nullptr);

    Property<std::string> caption{this};
    Property<bool> lit{this, false};
    // Drawn dimmed: the button stands for something switched off.
    Property<bool> dimmed{this, false};
    gui::Pixel tint = 0;
    // Caption alignment, for wide buttons that show a name.
    gui::Align align = gui::Align::Center;

    void setIcon(const gui::Bitmap* image);
    void setFont(const gui::Font& font);
    gui::Text& text() { return *label; }

    void paint(gui::Canvas& canvas) override;
    void mouseDown(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseEntered() override;
    void mouseLeft() override;
    bool keyPressed(const gui::KeyEvent& key) override;

protected:
    bool isHovered() const { return hovered; }
    bool isPressed() const { return pressed; }
    // The plate and its edge; buttons with a shape of their own override it.
    virtual void paintFace(gui::Canvas& canvas);

private:
    std::unique_ptr<gui::Text> label;
    const gui::Bitmap* iconImage;
    bool hovered = false;
    bool pressed = false;
};
