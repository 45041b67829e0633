#pragma once

#include "editor/modulation/TargetModulation.h"
#include "gui/Control.h"

#include <array>

class FilterController;
class OstrandPlugin;

// Over the filter display: for every filter whose Freq or Peak is
// modulated, a small dot where the modulation has taken the filter at the
// end of the last block, tied to the filter's own dot by a thin line. The
// filter's dot stays where its parameters are, so it can still be dragged.
// The mouse passes through.
class ModulatedFilterDots : public gui::Control {
public:
    ModulatedFilterDots(gui::Control& display, FilterController& shownIn, OstrandPlugin& plugin,
                        const TargetModulation& modulation);

    // Reads the live values; redraws what moved.
    void update();
    // Where filter n is drawn now, if it is modulated.
    bool isShown(int filter) const { return dots[static_cast<std::size_t>(filter)].shown; }
    gui::PointF position(int filter) const { return dots[static_cast<std::size_t>(filter)].at; }

    int opacityAt(gui::Point) const override { return 0; }
    void paint(gui::Canvas& canvas) override;

private:
    struct Dot {
        bool shown = false;
        gui::PointF at;
        gui::PointF base;
    };
    gui::Rect areaOf(const Dot& dot) const;

    FilterController& display;
    OstrandPlugin& plugin;
    const TargetModulation& modulation;
    std::array<Dot, 4> dots{};
};
