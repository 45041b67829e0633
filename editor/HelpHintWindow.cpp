#include "editor/HelpHintWindow.h"

#include "editor/EditorStyle.h"
#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/Label.h"
#include "gui/UserInterface.h"

#include <algorithm>

namespace {

constexpr int band = 16;       // the panel image's fixed top and bottom rows
constexpr int textLeft = 18;   // right of the panel's accent bar
constexpr int textRight = 12;
constexpr int padding = 9;     // above and below the text
constexpr int shadow = 3;      // the image's drop shadow below the panel

} // namespace

HelpHintWindow::HelpHintWindow(gui::Control& parent, const gui::Bitmap& panel)
    : gui::Overlay(parent, gui::Rect::ofSize(0, 0, width, panel.height())), background(panel),
      font(userInterface().createText(EditorStyle::hintFont()))
{
    visible = false;
}

HelpHintWindow::~HelpHintWindow() = default;

int HelpHintWindow::heightFor(const std::string& text)
{
    lines = gui::wrapText(*font, text, width - textLeft - textRight);
    const int line = gui::lineHeight(*font);
    return std::max(2 * band, 2 * padding + static_cast<int>(lines.size()) * line + shadow);
}

void HelpHintWindow::show(const std::string& text, const gui::Rect& anchor)
{
    if (text.empty()) {
        hide();
        return;
    }
    const int h = heightFor(text);
    const int parentWidth = parent()->width(), parentHeight = parent()->height();
    int y = anchor.bottom + 6;
    if (y + h > parentHeight)
        y = anchor.top - h - 4;
    y = std::clamp(y, 0, std::max(0, parentHeight - h));
    const int x = std::clamp(anchor.left, 4, std::max(4, parentWidth - width - 4));
    shown = text;
    setFrame(gui::Rect::ofSize(x, y, width, h));
    bringToFront();
    visible = true;
    invalidate();
}

void HelpHintWindow::showCentred(const std::string& text, const gui::Rect& area)
{
    const int h = heightFor(text);
    show(text, gui::Rect::ofSize(0, 0, 0, 0));
    setFrame(gui::Rect::ofSize(area.left + (area.width() - width) / 2, area.top + (area.height() - h) / 2, width, h));
}

void HelpHintWindow::hide()
{
    shown.clear();
    lines.clear();
    visible = false;
}

void HelpHintWindow::paint(gui::Canvas& canvas)
{
    const int h = height();
    const int imageHeight = background.height();
    const int w = background.width();
    canvas.drawBitmap(background, gui::Rect{0, 0, w, band}, 0, 0);
    // The middle rows of the image, repeated down to the bottom band.
    const int middle = imageHeight - 2 * band;
    for (int y = band; y < h - band; y += middle) {
        gui::Canvas::Scope scope(canvas);
        canvas.clipTo({0, y, w, h - band});
        canvas.drawBitmap(background, gui::Rect{0, band, w, band + middle}, 0, y);
    }
    canvas.drawBitmap(background, gui::Rect{0, imageHeight - band, w, imageHeight}, 0, h - band);
    const int line = gui::lineHeight(*font);
    int y = padding;
    for (const std::string& l : lines) {
        canvas.drawText(*font, l, {textLeft, y, width - textRight, y + line}, EditorStyle::text);
        y += line;
    }
}
