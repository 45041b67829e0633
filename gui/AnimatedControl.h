#pragma once

#include "gui/Control.h"
#include "gui/Timer.h"

#include <cstdint>
#include <memory>

namespace gui {

// A control that can move or change by itself over time: while an animation
// runs, animate() is called about every frameInterval ms with the time since
// the animation started, until it returns false.
class AnimatedControl : public Control {
public:
    static constexpr int frameInterval = 20;

    AnimatedControl(Control& parent, const Rect& frame) : Control(parent, frame) {}

    void startAnimation();
    void stopAnimation();
    bool animating() const { return timer && timer->running(); }

protected:
    // `elapsed` ms since startAnimation(); false ends the animation.
    virtual bool animate(std::uint64_t) { return false; }

private:
    std::unique_ptr<Timer> timer;
    std::uint64_t started = 0;
};

} // namespace gui
