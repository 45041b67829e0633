#pragma once

#include "host/lv2/Lv2PluginAdapter.h"

#include <lv2/ui/ui.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace gui {
class X11Interface;
}
class OstrandInterface;

// The editor as an LV2 UI: one X11 window inside the host's (or on its own
// when the host gives no parent), driven by the host's idle calls, over the
// plug-in object of an instance in the same process.
//
// Parameter traffic, as hosts understand it:
//   - every parameter the editor (or a learned MIDI controller) changes is
//     written to its control port through the host's write function, at the
//     latest at the end of the idle call that made the change, so the host
//     records automation and its own controls follow;
//   - the editor's gestures become ui:touch grabs and releases, with the
//     writes of the gesture inside them;
//   - a port value the host announces (its own control, automation, a
//     preset) is set on the parameter at once, unless it is the echo of the
//     editor's own write or the editor is in a gesture on it; the editor
//     shows it at the next idle call.
//
// Threads: everything runs on the host's UI thread.
class Lv2ViewAdapter final : public Lv2PluginAdapter::View {
public:
    // What the host offers the UI.
    struct Host {
        LV2UI_Write_Function write = nullptr;
        LV2UI_Controller controller = nullptr;
        const LV2UI_Touch* touch = nullptr;   // optional
        const LV2UI_Resize* resize = nullptr; // optional
        unsigned long parent = 0;             // the host's window; 0 for a window of our own
        int scale = 0;                        // 1 or 2; 0 asks the X server
    };

    // Opens the window and builds the editor; throws std::runtime_error when
    // no display can be opened.
    Lv2ViewAdapter(Lv2PluginAdapter& adapter, const Host& host);
    virtual ~Lv2ViewAdapter();
    Lv2ViewAdapter(const Lv2ViewAdapter&) = delete;
    Lv2ViewAdapter& operator=(const Lv2ViewAdapter&) = delete;

    // The X11 window the host embeds.
    unsigned long widget() const;
    // ui:idleInterface: 0 while the UI stays open, 1 once its own window was
    // closed.
    int idle();
    // A port's value changed on the host's side.
    void portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer);

    // Lv2PluginAdapter::View
    void beginGesture(int index) override;
    void endGesture(int index) override;

private:
    void passChangesToHost();
    std::uint32_t portOf(int index) const;

    Lv2PluginAdapter& adapter;
    Host host;
    std::unique_ptr<gui::X11Interface> window;
    std::unique_ptr<OstrandInterface> editor;
    // The value last written to each parameter's port, to know the host's
    // echo of it; NaN where nothing was written.
    std::vector<float> written;
    std::vector<int> gestures;
};
