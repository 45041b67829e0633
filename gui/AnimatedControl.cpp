#include "gui/AnimatedControl.h"

#include "gui/UserInterface.h"

namespace gui {

void AnimatedControl::startAnimation()
{
    if (!timer) {
        timer = userInterface().createTimer(frameInterval);
        timer->elapsed.addHandler([this](NotifyEvent&) {
            if (!animate(userInterface().milliseconds() - started))
                stopAnimation();
        });
    }
    started = userInterface().milliseconds();
    timer->start();
}

void AnimatedControl::stopAnimation()
{
    if (timer)
        timer->stop();
}

} // namespace gui
