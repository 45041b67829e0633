#pragma once

// The effect's editor in a window without a display, with a plug-in whose
// host side records what a host would see: gestures begun and ended, and
// parameters reported changed. Tests feed it synthetic mouse input.
#include "editor/FilterController.h"
#include "editor/OstrandInterface.h"
#include "editor/modulation/ModulationInterface.h"
#include "effect/OstrandPlugin.h"
#include "framework/UndoHistory.h"
#include "gui/HeadlessInterface.h"
#include "gui/Input.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/RootControl.h"

#include <cmath>
#include <string>
#include <vector>

namespace editortest {

// What the host hears, in order: "begin 8", "end 8".
struct RecordingHost final : GenericPlugin::Adapter {
    RecordingHost() = default;
    RecordingHost(const RecordingHost&) = delete;
    virtual ~RecordingHost() = default;
    std::vector<std::string> gestures;
    std::vector<int> changed;
    void parameterChanged(int index) override { changed.push_back(index); }
    void presetChanged() override {}
    void beginGesture(int index) override { gestures.push_back("begin " + std::to_string(index)); }
    void endGesture(int index) override { gestures.push_back("end " + std::to_string(index)); }
};

struct EditorRig {
    OstrandPlugin plugin;
    RecordingHost host;
    gui::HeadlessInterface ui{640, 522};
    OstrandInterface editor;

    EditorRig() : editor(ui, (plugin.setAdapter(&host), plugin)) { editor.refresh(); }
    ~EditorRig() { plugin.setAdapter(nullptr); }

    gui::RootControl& root() { return ui.root(); }
    FilterController& display() { return editor.display(); }
    ModulationInterface& area() { return editor.modulation(); }
    FilterParameterSet& filter(int n) { return plugin.filters[n]; }
    int undoCount() { return plugin.getUndoHistory()->getUndoCount(); }

    // A dot's position in window coordinates.
    gui::Point dotAt(int n)
    {
        const gui::PointF p = display().dots()[static_cast<std::size_t>(n)].position;
        const gui::Point origin = display().toRoot({0, 0});
        return {origin.x + static_cast<int>(std::lround(p.x)), origin.y + static_cast<int>(std::lround(p.y))};
    }

    // Presses at `from`, moves through the points given, releases at the
    // last one, with the modifier keys held throughout.
    void drag(gui::Point from, std::vector<gui::Point> path, int keys = 0)
    {
        root().mouseMoveAt(from, keys);
        root().mouseDownAt(gui::MouseButton::Left, from, gui::Modifier::LeftButton | keys);
        gui::Point last = from;
        for (gui::Point p : path) {
            ui.advance(20);
            root().mouseMoveAt(p, gui::Modifier::LeftButton | keys);
            last = p;
        }
        root().mouseUpAt(gui::MouseButton::Left, last, keys);
        editor.refresh();
    }
    void click(gui::Point at, int keys = 0) { drag(at, {}, keys); }
    // A drag with a few steps on the way, as a hand makes it.
    void dragBetween(gui::Point from, std::vector<gui::Point> via, gui::Point to, int keys = 0)
    {
        via.push_back({(from.x + to.x) / 2, (from.y + to.y) / 2 + 3});
        via.push_back(to);
        drag(from, via, keys);
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

    // Sets parameters as a preset or the host would, then lets the editor
    // catch up.
    void set(AbstractPluginParameter& p, float plain)
    {
        p.setValue(plain, 0);
        editor.refresh();
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
