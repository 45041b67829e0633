#pragma once

// The editor's modulation area in a window without a display: the editor
// rig, plus what its tests do again and again (running the audio so the
// plug-in publishes what the area reads, finding messages and menus).
#include "EditorRig.h"

#include "editor/modulation/ModulationInterface.h"
#include "gui/Knob.h"
#include "gui/Label.h"

#include <string>
#include <vector>

namespace editortest {

struct ModulationRig : EditorRig {
    ModulationInterface& area() { return editor.modulation(); }

    // Blocks of silence through the plug-in: the changes reach the audio,
    // which works out the slots and publishes levels and live values; then
    // the editor's timers read them.
    void runAudio(int blocks = 1, int size = 256)
    {
        std::vector<float> in(static_cast<std::size_t>(size)), left(in.size()), right(in.size());
        const float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {left.data(), right.data()};
        for (int i = 0; i < blocks; ++i)
            plugin.process(inputs, 2, outputs, 2, size);
        editor.refresh();
        ui.advance(ModulationInterface::tickInterval + 1);
    }

    // The middle of a control, or of a knob's dial, in window coordinates.
    static gui::Point centreOf(const gui::Control& c)
    {
        if (const auto* knob = dynamic_cast<const gui::Knob*>(&c)) {
            const gui::Point o = knob->toRoot({0, 0});
            return {o.x + static_cast<int>(knob->style().centre.x), o.y + static_cast<int>(knob->style().centre.y)};
        }
        return c.toRoot({c.width() / 2, c.height() / 2});
    }

    // A drag with a few steps on the way, as a hand makes it.
    void dragBetween(gui::Point from, std::vector<gui::Point> via, gui::Point to, int keys = 0)
    {
        via.push_back({(from.x + to.x) / 2, (from.y + to.y) / 2 + 3});
        via.push_back(to);
        drag(from, via, keys);
    }

    // The message shown in a box over the editor, or an empty text.
    std::string message()
    {
        std::string found;
        visit(root(), [&](gui::Control& c) {
            if (auto* label = dynamic_cast<gui::Label*>(&c); label && label->isShown() && label->text.get().size() > 20)
                found = label->text.get();
        });
        return found;
    }
    void dismissMessage()
    {
        root().keyDown({gui::KeyCode::Enter, "", 0});
        ui.deletePending();
    }

    // Picks the n-th enabled item (from 0) of the menu that is open; a
    // negative n counts from the end (-1 is the last).
    void chooseFromMenu(int n)
    {
        root().children().back()->takeFocus();
        for (int i = 0; i < (n < 0 ? -n : n + 1); ++i)
            root().keyDown({n < 0 ? gui::KeyCode::Up : gui::KeyCode::Down, "", 0});
        root().keyDown({gui::KeyCode::Enter, "", 0});
        ui.deletePending();
        editor.refresh();
    }

    template <typename F> static void visit(gui::Control& c, F&& f)
    {
        f(c);
        for (gui::Control* child : c.children())
            visit(*child, f);
    }
};

} // namespace editortest
