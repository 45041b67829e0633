#pragma once

#include "gui/Overlay.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace gui {
class Text;
class Timer;
}
class EditorButton;
class GenericPluginInterface;

// MIDI learn mode: an overlay over the whole editor that dims everything
// but the controls a MIDI controller can be tied to. Each of those is lit
// and shows the number of the controller that moves it ("-" for none);
// besides the controls there are learnable items for parameters without a
// control of their own (the linked filters' frequency and peak). Clicking
// one selects it (a frame around it) and makes its parameter the one the
// next controller moved will learn; the plug-in's MIDI side completes the
// association. The MIDI Learn button stays usable and leaves the mode.
class MidiLearnController : public gui::Overlay {
public:
    static constexpr const char* clickText = "Click a control to activate it for Midi Learn mode";
    static constexpr const char* moveText = "Move a slider/knob on your midi controller to associate it to:";
    static constexpr gui::Rect statusFrame = {0, 34, 640, 52};
    // Controller numbers and the pending choice are read this often.
    static constexpr int pollInterval = 100;

    // Something that can learn: a control bound to a parameter, or an item
    // the overlay draws itself for a parameter id (a virtual parameter).
    struct Learnable {
        int id = -1;
        std::string name;
        gui::Control* control = nullptr; // null for an item of the overlay
        gui::Rect area;                  // in the overlay, the part in view
    };
    struct Item {
        int id;
        std::string caption;
        gui::Rect area;
    };

    // `learn` is the button that switches the mode; `passThrough` are
    // the controls that stay usable in the mode (the learn button itself).
    MidiLearnController(gui::Control& surface, GenericPluginInterface& editor, EditorButton& learn,
                        std::vector<Item> items);
    ~MidiLearnController() override;

    bool active() const { return visible.get(); }
    void setActive(bool on);
    void toggle() { setActive(!active()); }

    // The learnables in view now (found again at every poll).
    const std::vector<Learnable>& learnables() const { return found; }
    const Learnable* learnableAt(gui::Point local) const;
    const Learnable* selected() const;
    const std::string& status() const { return statusText; }
    // The controller that moves a parameter id, or -1.
    int controllerOf(int id) const;
    // Selects the learnable with this id (as a click on it does).
    void select(const Learnable& learnable);
    // Reads the controller map and the pending choice again.
    void poll();

    int opacityAt(gui::Point local) const override;
    void paint(gui::Canvas& canvas) override;
    void mouseDown(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    void find();
    int pendingTarget() const;
    void setPending(int id);
    gui::Rect visiblePart(const gui::Control& control) const;

    GenericPluginInterface& editor;
    EditorButton& learnButton;
    std::vector<Item> extras;
    std::vector<Learnable> found;
    std::unique_ptr<gui::Text> font;
    std::unique_ptr<gui::Text> statusFont;
    std::unique_ptr<gui::Timer> poller;
    std::array<int, 127> seenMap{};
    std::string statusText;
    int chosen = -1;
};
