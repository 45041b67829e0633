#pragma once

#include "gui/RootControl.h"
#include "gui/UserInterface.h"

#include <cstdint>
#include <memory>
#include <string>

struct _XDisplay;
struct _XGC;
union _XEvent;

namespace gui {

class X11Bitmap;
class X11Interface;
class X11MessageHook;

// The root control bound to an X11 window: translates the window's events
// into the toolkit's mouse, wheel and key calls, and copies the painted
// part of the off-screen bitmap to the window.
class X11Control : public RootControl {
public:
    X11Control(X11Interface& ui, int width, int height, int scale);
    ~X11Control() override;

    // An optional filter that sees each event first (not owned).
    void setMessageHook(X11MessageHook* hook) { messageHook = hook; }

    void handleEvent(_XEvent& event);
    // Paints what is dirty and copies it, with anything exposed, to the
    // window.
    void present();

private:
    int modifiersOf(unsigned state) const;
    Point logical(int x, int y) const { return {x / scale(), y / scale()}; }

    X11Interface& owner;
    std::unique_ptr<X11Bitmap> image;
    X11MessageHook* messageHook = nullptr;
    Rect exposed;
    bool pressPending = false;
    Point lastPoint;
    std::uint64_t lastPressTime = 0;
    Point lastPressPoint{-100, -100};
};

// A user interface in an X11 window: a child of a host's window (for an
// editor embedded in a host) or a top-level window of its own. It has no
// thread and no event loop: whoever owns it calls idle() regularly (the
// host's idle callback, or a program's own loop around waitForEvents()),
// which handles waiting events, fires due timers and brings the window up
// to date. Each interface has its own display connection, so any number can
// be open in one process.
class X11Interface : public UserInterface {
public:
    struct Options {
        unsigned long parent = 0; // the host's window; 0 for a top-level window
        int x = 0;                // position in the parent, in pixels
        int y = 0;
        int width = 640;          // in 1x units
        int height = 400;
        int scale = 0;            // 1 or 2; 0 asks the display (see detectScale)
        std::string title;        // of a top-level window
    };

    // Throws std::runtime_error when no display can be opened.
    explicit X11Interface(const Options& options);
    ~X11Interface() override;

    X11Control& window() { return static_cast<X11Control&>(root()); }
    unsigned long windowId() const { return xWindow; }
    _XDisplay* display() const { return xDisplay; }
    _XGC* gc() const { return xGc; }
    int connectionNumber() const;

    // Returns false once a top-level window was closed by its user.
    bool idle();
    // Sleeps until an event arrives or the next timer is due, at most
    // `maxMilliseconds`.
    void waitForEvents(int maxMilliseconds);
    bool closed() const { return wasClosed; }

    std::unique_ptr<Text> createText(const Font& font) override;
    void requestKeyboard() override;
    // Through xdg-open, detached: the opener outlives neither the editor's
    // wait nor the host's process table.
    bool openExternally(const std::string& target) override;

    // 2 when the environment (OSTRAND_UI_SCALE, GDK_SCALE) or the X
    // resources (Xft.dpi of 144 or more) ask for a HiDPI screen, else 1.
    static int detectScale(_XDisplay* display);

private:
    _XDisplay* xDisplay = nullptr;
    unsigned long xWindow = 0;
    _XGC* xGc = nullptr;
    unsigned long deleteAtom = 0;
    bool topLevel = false;
    bool wasClosed = false;
};

} // namespace gui
