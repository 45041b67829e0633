#pragma once

#include "gui/Component.h"
#include "gui/NotifyEvent.h"

#include <cstdint>

namespace gui {

// A periodic notification on the user interface's thread. The interface
// fires running timers from its idle call (or, headless, when its clock is
// advanced); a timer that falls behind fires once, not once per missed
// period.
class Timer : public Component {
public:
    Timer(UserInterface& ui, int intervalMilliseconds);
    ~Timer() override;

    int interval() const { return period; }
    void setInterval(int milliseconds);
    bool running() const { return isRunning; }
    // (Re)starts the period from now.
    void start();
    void stop();

    NotifyEvent elapsed{this};

    // When the timer fires next (the interface's milliseconds).
    std::uint64_t due() const { return dueTime; }
    // Called by the interface once `now` has reached due().
    void fire(std::uint64_t now);

private:
    int period;
    bool isRunning = false;
    std::uint64_t dueTime = 0;
};

} // namespace gui
