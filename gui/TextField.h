#pragma once

#include "gui/Control.h"
#include "gui/Text.h"

#include <memory>
#include <string>

namespace gui {

// A one-line text entry: typed characters go in at the caret; Backspace,
// Delete, Left, Right, Home and End edit and move it; a click places it.
// Taking the focus asks the platform for the keyboard. Enter raises
// `entered`. The text is UTF-8 and is edited by whole characters.
class TextField : public Control {
public:
    TextField(Control& parent, const Rect& frame, const std::string& initial = {});

    const std::string& text() const { return content; }
    void setText(const std::string& text);
    std::size_t caret() const { return caretByte; }

    NotifyEvent entered{this};

    void paint(Canvas& canvas) override;
    bool keyPressed(const KeyEvent& key) override;
    void mouseDown(MouseButton button, Point local, int modifiers) override;
    void takeFocus() override;

private:
    std::unique_ptr<Text> font;
    std::string content;
    std::size_t caretByte = 0;
    int scroll = 0;
};

} // namespace gui
