#pragma once

#include "gui/Canvas.h"
#include "gui/Control.h"
#include "gui/Text.h"

#include <memory>
#include <string>
#include <vector>

namespace gui {

// A text drawn in the control's area, on one line or wrapped at words.
class Label : public Control {
public:
    Label(Control& parent, const Rect& frame, const std::string& text = {}, const Font& font = {});

    Property<std::string> text{this};
    Pixel colour = rgba(225, 228, 232);
    Align align = Align::Left;
    bool wrap = false;

    void setFont(const Font& font);
    Text& renderer() { return *textRenderer; }

    void paint(Canvas& canvas) override;
    // Labels are read, not clicked: the mouse goes to what is below.
    int opacityAt(Point) const override { return 0; }

private:
    std::unique_ptr<Text> textRenderer;
};

// Splits `text` into lines no wider than `width` (1x units) at blanks and at
// line breaks; a word longer than the width gets a line of its own.
std::vector<std::string> wrapText(Text& text, const std::string& utf8, int width);

// The width of a string in 1x units, rounded up.
int textWidth(Text& text, std::string_view utf8);
// The height of a line in 1x units.
int lineHeight(Text& text);

} // namespace gui
