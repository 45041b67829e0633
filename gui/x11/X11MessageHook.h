#pragma once

union _XEvent;

namespace gui {

// Sees every event of the window before the toolkit does: an editor can
// take events the toolkit leaves alone (right and middle buttons) or change
// the modifier bits the toolkit will use. Returns true when it handled the
// event, which the toolkit then ignores.
class X11MessageHook {
public:
    virtual ~X11MessageHook() = default;
    virtual bool handle(_XEvent& event, int& modifiers) = 0;
};

} // namespace gui
