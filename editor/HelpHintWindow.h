#pragma once

#include "gui/Overlay.h"

#include <memory>
#include <string>
#include <vector>

namespace gui {
class Bitmap;
class Text;
}

// The panel that shows help hints and the welcome text: the hint panel
// image, stretched between its top and bottom bands to the wrapped text.
// Hidden while it has no text. It lets the mouse through, so a hint never
// stands between the user and a control.
class HelpHintWindow : public gui::Overlay {
public:
    static constexpr int width = 300;

    HelpHintWindow(gui::Control& parent, const gui::Bitmap& panel);
    ~HelpHintWindow() override;

    // Shows `text` with the panel's top left corner near `anchor` (the
    // control the hint is about, in the parent's coordinates): below it when
    // there is room, else above, always inside the parent. An empty text
    // hides the window.
    void show(const std::string& text, const gui::Rect& anchor);
    // Shows `text` centred on `area`.
    void showCentred(const std::string& text, const gui::Rect& area);
    void hide();
    const std::string& text() const { return shown; }

    void paint(gui::Canvas& canvas) override;
    int opacityAt(gui::Point) const override { return 0; }

private:
    int heightFor(const std::string& text);

    const gui::Bitmap& background;
    std::unique_ptr<gui::Text> font;
    std::string shown;
    std::vector<std::string> lines;
};
