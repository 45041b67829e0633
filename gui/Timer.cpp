#include "gui/Timer.h"

#include "gui/UserInterface.h"

#include <algorithm>

namespace gui {

Timer::Timer(UserInterface& ui, int intervalMilliseconds) : Component(ui), period(std::max(1, intervalMilliseconds))
{
}

Timer::~Timer() { stop(); }

void Timer::setInterval(int milliseconds)
{
    period = std::max(1, milliseconds);
    if (isRunning)
        start();
}

void Timer::start()
{
    dueTime = userInterface().milliseconds() + static_cast<std::uint64_t>(period);
    if (!isRunning) {
        isRunning = true;
        userInterface().timerStarted(*this);
    }
}

void Timer::stop()
{
    if (!isRunning)
        return;
    isRunning = false;
    userInterface().timerStopped(*this);
}

void Timer::fire(std::uint64_t now)
{
    dueTime = now + static_cast<std::uint64_t>(period);
    elapsed.fire();
}

} // namespace gui
