#pragma once

#include "gui/Bitmap.h"
#include "gui/Knob.h"
#include "gui/UserInterface.h"

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class Button;
class Label;
class RootControl;
} // namespace gui

// The viewer's window content: three knobs with their values, a picture, a
// line of text, a menu and a hint line, built the same way in a real window
// and in a headless snapshot.
class DemoPanel : public gui::UserInterface::Listener {
public:
    static constexpr int width = 420;
    static constexpr int height = 240;

    explicit DemoPanel(gui::RootControl& root);
    ~DemoPanel() override;

    // One line per control the tests aim at: "NAME x y width height" in
    // window coordinates (1x units).
    void printLayout(std::ostream& out) const;

    void showHint(const std::string& text) override;

private:
    struct Dial {
        gui::Knob* knob;
        gui::Label* value;
        std::string name;
        std::string unit;
    };

    void openMenu();
    void showValue(Dial& dial);

    gui::RootControl& root;
    std::unique_ptr<gui::Bitmap> knobImage;
    std::unique_ptr<gui::Bitmap> logo;
    std::vector<Dial> dials;
    gui::Button* menuButton = nullptr;
    gui::Label* hintLine = nullptr;
    gui::Label* status = nullptr;
    gui::Label* title = nullptr;
};
