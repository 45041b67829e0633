#pragma once

#include "gui/Text.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace gui {

class Component;
class Control;
class RootControl;
class Timer;

// Owner of all components of one editor window: the root of the control tree,
// mouse capture, keyboard focus, the control under the mouse, timers, help
// hints and the deferred update queue. Everything runs on the thread that
// drives the interface (the host's UI thread); there are no locks, and one
// process can hold any number of interfaces.
class UserInterface {
public:
    // Hears the help hint to show (an empty text removes it).
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void showHint(const std::string& text) = 0;
    };

    static constexpr int hintDelay = 1500;    // ms of rest before a hint shows
    static constexpr int updateInterval = 50; // ms between turns of the update queue

    UserInterface();
    virtual ~UserInterface();
    UserInterface(const UserInterface&) = delete;
    UserInterface& operator=(const UserInterface&) = delete;

    RootControl& root() { return *rootControl; }

    // A monotonic clock in milliseconds.
    virtual std::uint64_t milliseconds() const;

    // A font renderer for this interface's platform.
    virtual std::unique_ptr<Text> createText(const Font& font) = 0;

    // Mouse capture: the captured control receives every mouse event until
    // released, wherever the pointer is.
    void captureMouse(Control& control);
    void releaseMouse();
    Control* capturedControl() const { return captured; }

    void setFocus(Control* control) { focused = control; }
    Control* focusedControl() const { return focused; }
    // Asks the platform for the keyboard (a text field wants typing that
    // would otherwise go to the host).
    virtual void requestKeyboard() {}
    // Opens a document or a web address with the program the desktop
    // associates with it (a help file, the maker's web site). False when
    // nothing could be started; without a desktop nothing is.
    virtual bool openExternally(const std::string&) { return false; }

    // The control under the mouse; a change tells the old one the mouse
    // left, passes the new one's hint text on, and tells it the mouse
    // entered.
    void setControlUnderMouse(Control* control);
    Control* controlUnderMouse() const { return hovered; }

    std::unique_ptr<Timer> createTimer(int intervalMilliseconds);
    // Fires every running timer whose time has come; the platform calls this
    // from its idle call.
    void runDueTimers();
    // When the next running timer is due, if any.
    std::optional<std::uint64_t> nextTimerDue() const;

    // Help hints: a non-empty text is handed to the listeners after
    // hintDelay ms unless another text arrives first; an empty one removes
    // the hint at once. Nothing happens while hints are switched off.
    void setHintText(const std::string& text);
    void setHintsEnabled(bool on);
    bool hintsEnabled() const { return hintsOn; }
    void addListener(Listener& listener);
    void removeListener(Listener& listener);

    // Queues a control for deferredUpdate() at the next turn of the queue.
    void queueUpdate(Control& control);

    // Destroys the control once the current event or timer has been handled
    // completely: a dialog can close itself from its own button's click.
    // The control is hidden until then.
    void deleteLater(Control& control);
    void deletePending();

    void registerComponent(Component& component);
    void unregisterComponent(Component& component);
    std::size_t componentCount() const { return components.size(); }
    // Whether a component is (still) registered here.
    bool contains(const Component* component) const
    {
        return components.contains(const_cast<Component*>(component));
    }
    // A control is going away: drop every reference to it.
    void forgetControl(Control& control);

    void timerStarted(Timer& timer);
    void timerStopped(Timer& timer);

protected:
    // Derived interfaces make the root once they can.
    void setRoot(std::unique_ptr<RootControl> root);
    // Destroys the control tree (before the platform resources it draws on).
    void destroyRoot();
    // The platform's own capture of the pointer.
    virtual void nativeCapture(bool) {}

private:
    void hintTimerElapsed();
    void updateTimerElapsed();

    std::unique_ptr<RootControl> rootControl;
    Control* captured = nullptr;
    Control* focused = nullptr;
    Control* hovered = nullptr;
    std::unordered_set<Component*> components;
    std::vector<Timer*> runningTimers;
    std::vector<Listener*> listeners;
    std::vector<Control*> updateQueue;
    std::vector<Control*> updating;
    std::vector<Control*> pendingDeletion;
    std::unique_ptr<Timer> hintTimer;
    std::unique_ptr<Timer> updateTimer;
    std::string pendingHint;
    bool hintsOn = true;
};

} // namespace gui
