#pragma once

#include "gui/DragStage.h"
#include "gui/Pixel.h"

#include <optional>

// A cable being dragged from a source: a sagging line from the source's
// drag button to the pointer, or, while the pointer is over a modulation
// target, to the target's centre, which is ringed.
class ModulationDragStage : public gui::DragStage {
public:
    // What a cable carries: the source it comes from.
    class Cable : public gui::DragObject {
    public:
        Cable(gui::Control& button, int source, gui::PointF start, gui::Pixel colour)
            : gui::DragObject(button), from(source), origin(start), tint(colour)
        {
        }
        int source() const { return from; }
        gui::PointF start() const { return origin; }
        gui::Pixel colour() const { return tint; }

    private:
        int from;
        gui::PointF origin; // stage coordinates
        gui::Pixel tint;
    };

    explicit ModulationDragStage(gui::Control& parent);

    // The target the cable snaps to (centre in stage coordinates, and the
    // radius of the ring drawn round it), or none.
    void snapTo(std::optional<gui::PointF> centre, float radius = 0.0f);
    std::optional<gui::PointF> snapped() const { return snap; }

    void paint(gui::Canvas& canvas) override;

private:
    std::optional<gui::PointF> snap;
    float snapRadius = 0.0f;
};
