#pragma once

// The editor's modulation area in a window without a display: the editor
// rig, plus what its tests do again and again (running the audio so the
// plug-in publishes what the area reads, aiming at knobs, dragging cables).
#include "EditorRig.h"

#include "editor/modulation/ModulationInterface.h"
#include "gui/Knob.h"

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
};

} // namespace editortest
