#pragma once

#include "gui/AnimatedControl.h"

#include <vector>

// The row of source panels, wider than the space it has: a window onto it
// that scrolls horizontally. The panels are children of content(); arrange()
// lines the shown ones up left to right. Scrolling glides (a click on a
// source's button) or follows at once (the selector, the wheel).
class ModulationScrollStrip : public gui::AnimatedControl {
public:
    static constexpr int gap = 4;
    static constexpr int glideTime = 180; // ms

    ModulationScrollStrip(gui::Control& parent, const gui::Rect& frame);

    gui::Control& content() const { return *row; }
    // Places the panels side by side in this order (the others are hidden
    // by their owner) and keeps the scroll position within the new width.
    void arrange(const std::vector<gui::Control*>& panels);

    int scroll() const { return offset; }
    int contentWidth() const { return row->width(); }
    int maxScroll() const { return std::max(0, contentWidth() - width()); }
    // Scrolls to x (held in 0..maxScroll), gliding or at once.
    void scrollTo(int x, bool glide);
    // Scrolls so that the panel's centre is in the middle of the window.
    void centreOn(const gui::Control& panel, bool glide);

    // Fired whenever the scroll position changes.
    gui::NotifyEvent scrolled{this};

    void mouseWheel(gui::Point local, int modifiers, float amount) override;

protected:
    bool animate(std::uint64_t elapsed) override;

private:
    void place(int x);

    gui::Control* row = nullptr;
    int offset = 0;
    int glideFrom = 0;
    int glideTo = 0;
};
