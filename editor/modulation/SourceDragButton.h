#pragma once

#include "gui/Control.h"

namespace gui {
class Bitmap;
}
class ModulationInterface;

// The jack at the top left of a source's panel: pressing it starts a cable
// from the source, which is dropped on a knob to modulate it.
class SourceDragButton : public gui::Control {
public:
    static constexpr int size = 14;

    SourceDragButton(gui::Control& parent, gui::Point position, ModulationInterface& area, int source,
                     const gui::Bitmap& image);

    int source() const { return number; }
    // The jack's centre, in root coordinates: where the cable starts.
    gui::PointF centreInRoot() const;

    void paint(gui::Canvas& canvas) override;
    void mouseDown(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseEntered() override;
    void mouseLeft() override;

private:
    ModulationInterface& area;
    const gui::Bitmap& image;
    int number;
    bool hovered = false;
};
