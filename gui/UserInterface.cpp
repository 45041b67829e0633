#include "gui/UserInterface.h"

#include "gui/Control.h"
#include "gui/RootControl.h"
#include "gui/Timer.h"

#include <algorithm>
#include <chrono>

namespace gui {

UserInterface::UserInterface()
{
    hintTimer = std::make_unique<Timer>(*this, hintDelay);
    hintTimer->elapsed.addHandler([this](NotifyEvent&) { hintTimerElapsed(); });
    updateTimer = std::make_unique<Timer>(*this, updateInterval);
    updateTimer->elapsed.addHandler([this](NotifyEvent&) { updateTimerElapsed(); });
}

UserInterface::~UserInterface()
{
    destroyRoot();
    hintTimer.reset();
    updateTimer.reset();
}

void UserInterface::setRoot(std::unique_ptr<RootControl> root) { rootControl = std::move(root); }

void UserInterface::destroyRoot() { rootControl.reset(); }

std::uint64_t UserInterface::milliseconds() const
{
    using namespace std::chrono;
    return static_cast<std::uint64_t>(duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void UserInterface::captureMouse(Control& control)
{
    if (captured == &control)
        return;
    captured = &control;
    nativeCapture(true);
}

void UserInterface::releaseMouse()
{
    if (!captured)
        return;
    captured = nullptr;
    nativeCapture(false);
}

void UserInterface::setControlUnderMouse(Control* control)
{
    if (control == hovered)
        return;
    Control* previous = hovered;
    hovered = control;
    if (previous)
        previous->mouseLeft();
    setHintText(control ? control->hint.get() : std::string());
    if (control && hovered == control)
        control->mouseEntered();
}

std::unique_ptr<Timer> UserInterface::createTimer(int intervalMilliseconds)
{
    return std::make_unique<Timer>(*this, intervalMilliseconds);
}

void UserInterface::timerStarted(Timer& timer) { runningTimers.push_back(&timer); }

void UserInterface::timerStopped(Timer& timer) { std::erase(runningTimers, &timer); }

void UserInterface::runDueTimers()
{
    const std::uint64_t now = milliseconds();
    // A handler may start, stop or destroy timers, so each one is looked up
    // again before it fires.
    const std::vector<Timer*> snapshot = runningTimers;
    for (Timer* timer : snapshot)
        if (std::find(runningTimers.begin(), runningTimers.end(), timer) != runningTimers.end() && timer->due() <= now)
            timer->fire(now);
    deletePending();
}

std::optional<std::uint64_t> UserInterface::nextTimerDue() const
{
    std::optional<std::uint64_t> next;
    for (const Timer* timer : runningTimers)
        if (!next || timer->due() < *next)
            next = timer->due();
    return next;
}

void UserInterface::setHintText(const std::string& text)
{
    if (!hintsOn)
        return;
    if (text.empty()) {
        hintTimer->stop();
        pendingHint.clear();
        for (Listener* l : std::vector<Listener*>(listeners))
            l->showHint("");
        return;
    }
    pendingHint = text;
    hintTimer->start();
}

void UserInterface::hintTimerElapsed()
{
    hintTimer->stop();
    for (Listener* l : std::vector<Listener*>(listeners))
        l->showHint(pendingHint);
}

void UserInterface::setHintsEnabled(bool on)
{
    if (!on) {
        setHintText("");
        hintTimer->stop();
    }
    hintsOn = on;
}

void UserInterface::addListener(Listener& listener) { listeners.push_back(&listener); }

void UserInterface::removeListener(Listener& listener) { std::erase(listeners, &listener); }

void UserInterface::queueUpdate(Control& control)
{
    if (std::find(updateQueue.begin(), updateQueue.end(), &control) == updateQueue.end())
        updateQueue.push_back(&control);
    if (!updateTimer->running())
        updateTimer->start();
}

void UserInterface::updateTimerElapsed()
{
    // An update may destroy controls further down the list; forgetControl
    // clears them from it.
    updating.swap(updateQueue);
    for (std::size_t i = 0; i < updating.size(); ++i)
        if (Control* c = updating[i])
            c->deferredUpdate();
    updating.clear();
    if (updateQueue.empty())
        updateTimer->stop();
}

void UserInterface::deleteLater(Control& control)
{
    control.visible = false;
    if (std::find(pendingDeletion.begin(), pendingDeletion.end(), &control) == pendingDeletion.end())
        pendingDeletion.push_back(&control);
}

void UserInterface::deletePending()
{
    while (!pendingDeletion.empty()) {
        Control* c = pendingDeletion.back();
        pendingDeletion.pop_back();
        delete c;
    }
}

void UserInterface::registerComponent(Component& component) { components.insert(&component); }

void UserInterface::unregisterComponent(Component& component) { components.erase(&component); }

void UserInterface::forgetControl(Control& control)
{
    if (captured == &control)
        releaseMouse();
    if (focused == &control)
        focused = nullptr;
    if (hovered == &control) {
        hovered = nullptr;
        setHintText("");
    }
    std::erase(updateQueue, &control);
    std::erase(pendingDeletion, &control);
    std::replace(updating.begin(), updating.end(), &control, static_cast<Control*>(nullptr));
}

} // namespace gui
