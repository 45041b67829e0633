#pragma once

#include "gui/Control.h"
#include "gui/Text.h"

#include <memory>
#include <string>

namespace gui {

class Bitmap;

// A push button with a caption or an image; clicked fires on release over
// the button. Space and Enter press it while it has the focus.
class Button : public Control {
public:
    Button(Control& parent, const Rect& frame, const std::string& caption = {});

    Property<std::string> caption{this};
    const Bitmap* image = nullptr;
    Pixel face = rgba(64, 68, 76);
    Pixel hoverFace = rgba(78, 83, 93);
    Pixel pressedFace = rgba(48, 51, 57);
    Pixel textColour = rgba(235, 237, 240);
    Pixel frameColour = rgba(96, 101, 112);

    void paint(Canvas& canvas) override;
    void mouseDown(MouseButton button, Point local, int modifiers) override;
    void mouseUp(MouseButton button, Point local, int modifiers) override;
    void mouseEntered() override;
    void mouseLeft() override;
    bool keyPressed(const KeyEvent& key) override;

private:
    std::unique_ptr<Text> text;
    bool hovered = false;
    bool pressed = false;
};

} // namespace gui
