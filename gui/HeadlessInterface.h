#pragma once

#include "gui/UserInterface.h"

#include <functional>

namespace gui {

class Bitmap;

// A user interface without a window: the control tree paints into its
// off-screen bitmap only, input comes from calls on the root, and time moves
// only when advance() is called. For rendering snapshots of a window without
// a display, and for feeding a control tree synthetic events.
class HeadlessInterface : public UserInterface {
public:
    using TextFactory = std::function<std::unique_ptr<Text>(const Font&)>;

    // Without a text factory, texts measure by a fixed share of the font
    // height and draw nothing.
    HeadlessInterface(int width, int height, int scale = 1, TextFactory texts = {});
    ~HeadlessInterface() override;

    std::uint64_t milliseconds() const override { return now; }
    // Moves the clock on by `ms`, firing every timer at the time it is due.
    void advance(std::uint64_t ms);

    std::unique_ptr<Text> createText(const Font& font) override;

    // Paints what is dirty and returns the window's picture.
    const Bitmap& render();

private:
    std::uint64_t now = 1000;
    TextFactory makeText;
};

} // namespace gui
