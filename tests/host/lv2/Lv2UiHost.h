#pragma once

// A small LV2 UI host of our own for tests: lilv for the plug-in, the UI's
// own descriptor from the bundle, Xlib for a parent window on a virtual
// display, no toolkit from elsewhere. It drives the UI with idle calls, runs
// the plug-in between them, moves the real pointer through XTest, and
// records what the UI hands the host: port writes and touch grabs and
// releases. Include gtest before this header: Xlib's macros (None, Bool,
// Status) would trip over it.
#include "Lv2TestHost.h"
#include "VirtualDisplay.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <dlfcn.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace lv2uitest {

using namespace lv2test;

inline constexpr const char* pluginUri = "urn:merovance:ostrand2";

// The display everything here uses, started once for the test program.
inline const std::string& display()
{
    static xtest::VirtualDisplay server;
    [[maybe_unused]] static const int set = ::setenv("DISPLAY", server.name.c_str(), 1);
    return server.name;
}

// The UI module of the built bundle's descriptor. The module stays loaded
// to the end: a sanitizer's leak check at exit can only name the code that
// allocated a block (the module's and the font libraries') while it is mapped.
inline const LV2UI_Descriptor* uiDescriptor()
{
    static const LV2UI_Descriptor* const descriptor = [] {
        void* module = dlopen(OSTRAND_LV2_BUNDLE "/ostrand_ui.so", RTLD_NOW | RTLD_LOCAL);
        if (!module)
            throw std::runtime_error(dlerror());
        auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(std::uint32_t)>(dlsym(module, "lv2ui_descriptor"));
        return entry ? entry(0) : nullptr;
    }();
    return descriptor;
}

// One instance with its UI embedded in a parent window of the test's own.
// Port writes land in the instance's control values, as a host would set
// them, and every write and touch is logged.
// A scale above 0 is offered as the host's ui:scaleFactor.
class EmbeddedUi {
public:
    EmbeddedUi(Host& h, Instance& i, Display* x, int left = 0, float scale = 0.0f)
        : host(h), instance(i), xDisplay(x), scaleFactor(scale)
    {
        parent = XCreateSimpleWindow(x, DefaultRootWindow(x), left, 0, 640, 522, 0, 0, 0);
        XMapWindow(x, parent);
        XSync(x, False);
        extensionData = {lilv_instance_get_descriptor(instance.get())->extension_data};
        touch = {this, [](LV2UI_Feature_Handle self, std::uint32_t port, bool grabbed) {
                     static_cast<EmbeddedUi*>(self)->log.push_back({grabbed ? Entry::grab : Entry::release, port, 0});
                 }};
        // As hosts do, the parent window takes the size the UI asks for.
        resize = {this, [](LV2UI_Feature_Handle self, int w, int hgt) {
                      auto& me = *static_cast<EmbeddedUi*>(self);
                      me.size = {w, hgt};
                      XResizeWindow(me.xDisplay, me.parent, static_cast<unsigned>(w), static_cast<unsigned>(hgt));
                      XSync(me.xDisplay, False);
                      return 0;
                  }};
        parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(parent)};
        instanceFeature = {LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(instance.get())};
        const LV2_Feature* const* hostFeatures = host.getFeatures();
        std::vector<const LV2_Feature*> all{&parentFeature, &instanceFeature, &dataFeature, &touchFeature,
                                            &resizeFeature};
        if (scaleFactor > 0.0f) {
            UridMap& urids = host.getUrids();
            scaleOptions[0] = {LV2_OPTIONS_INSTANCE, 0, urids.map(LV2_UI__scaleFactor), sizeof(float),
                               urids.map(LV2_ATOM__Float), &scaleFactor};
            all.push_back(&scaleFeature);
        }
        for (const LV2_Feature* const* f = hostFeatures; *f; ++f)
            all.push_back(*f);
        all.push_back(nullptr);
        const LV2UI_Descriptor* d = uiDescriptor();
        ui = d->instantiate(d, pluginUri, OSTRAND_LV2_BUNDLE "/", write, this, &widget, all.data());
        if (!ui)
            return;
        idleInterface = static_cast<const LV2UI_Idle_Interface*>(d->extension_data(LV2_UI__idleInterface));
        // As hosts do: every control port's value, once, when the UI opens.
        const std::vector<float>& controls = instance.getControls();
        for (std::uint32_t port = 0; port < controls.size(); ++port)
            d->port_event(ui, port, sizeof(float), 0, &controls[port]);
    }
    ~EmbeddedUi()
    {
        if (ui)
            uiDescriptor()->cleanup(ui);
        XDestroyWindow(xDisplay, parent);
        XSync(xDisplay, False);
    }
    EmbeddedUi(const EmbeddedUi&) = delete;
    EmbeddedUi& operator=(const EmbeddedUi&) = delete;

    bool open() const { return ui && idleInterface; }

    // Idle calls with a block of the plug-in after each, for `ms`.
    void spin(int ms = 120)
    {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        do {
            idleInterface->idle(ui);
            runBlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        } while (std::chrono::steady_clock::now() < end);
    }

    void runBlock()
    {
        std::vector<float> silence(256, 0.0f);
        std::vector<float> left(256), right(256);
        instance.run({silence.data(), silence.data(), silence.data(), silence.data()}, {left.data(), right.data()}, 0,
                     256);
    }

    // The host sets a control itself and tells the UI.
    void hostSets(const std::string& symbol, float value)
    {
        instance.set(symbol, value);
        uiDescriptor()->port_event(ui, instance.port(symbol), sizeof value, 0, &value);
    }

    // The pixel of the UI's window at (x, y), as 0xRRGGBB.
    unsigned long pixel(int x, int y)
    {
        XImage* image = XGetImage(xDisplay, reinterpret_cast<Window>(widget), x, y, 1, 1, AllPlanes, ZPixmap);
        const unsigned long p = image ? XGetPixel(image, 0, 0) & 0xffffff : 0;
        if (image)
            XDestroyImage(image);
        return p;
    }

    struct Entry {
        enum Kind { grab, write, release } kind;
        std::uint32_t port;
        float value;
    };
    std::vector<Entry> log;
    std::pair<int, int> size{0, 0};

private:
    static void write(LV2UI_Controller self, std::uint32_t port, std::uint32_t bytes, std::uint32_t format,
                      const void* buffer)
    {
        auto& me = *static_cast<EmbeddedUi*>(self);
        if (format != 0 || bytes != sizeof(float))
            return;
        float value;
        std::memcpy(&value, buffer, sizeof value);
        me.instance.set(me.symbolOf(port), value);
        me.log.push_back({Entry::write, port, value});
    }

    std::string symbolOf(std::uint32_t port) const
    {
        const LilvPort* p = lilv_plugin_get_port_by_index(instance.getPlugin(), port);
        return lilv_node_as_string(lilv_port_get_symbol(instance.getPlugin(), p));
    }

    Host& host;
    Instance& instance;
    Display* xDisplay;
    Window parent = 0;
    LV2_Extension_Data_Feature extensionData{};
    LV2UI_Touch touch{};
    LV2UI_Resize resize{};
    LV2_Feature parentFeature{};
    LV2_Feature instanceFeature{};
    LV2_Feature dataFeature{LV2_DATA_ACCESS_URI, &extensionData};
    LV2_Feature touchFeature{LV2_UI__touch, &touch};
    LV2_Feature resizeFeature{LV2_UI__resize, &resize};
    float scaleFactor;
    LV2_Options_Option scaleOptions[2]{};
    LV2_Feature scaleFeature{LV2_OPTIONS__options, scaleOptions};
    LV2UI_Handle ui = nullptr;
    LV2UI_Widget widget = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
};

// The real pointer, through XTest, in root coordinates. Each fake event
// waits for the server to have made it (XSync, not XFlush): on a loaded
// machine a starved server could otherwise deliver a release after the
// test's idle calls have ended, and the gesture would look unfinished.
struct Pointer {
    Display* x;
    void keys(bool down, KeySym key) { XTestFakeKeyEvent(x, XKeysymToKeycode(x, key), down, 0); XSync(x, False); }
    void move(int px, int py) { XTestFakeMotionEvent(x, -1, px, py, 0); XSync(x, False); }
    void button(bool down) { XTestFakeButtonEvent(x, 1, down, 0); XSync(x, False); }
};

// Presses at one point, moves in `steps` steps to another and releases,
// giving the UI idle calls all along.
inline void drag(EmbeddedUi& ui, Pointer& pointer, int fromX, int fromY, int toX, int toY, int steps = 5)
{
    pointer.move(fromX, fromY);
    ui.spin(60);
    pointer.button(true);
    ui.spin(60);
    for (int step = 1; step <= steps; ++step) {
        pointer.move(fromX + (toX - fromX) * step / steps, fromY + (toY - fromY) * step / steps);
        ui.spin(40);
    }
    pointer.button(false);
    ui.spin();
}

inline void click(EmbeddedUi& ui, Pointer& pointer, int x, int y) { drag(ui, pointer, x, y, x, y, 1); }

// A connection to the virtual display for each test.
class OnDisplay : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(display().empty()) << "Xvfb did not start";
        x = XOpenDisplay(display().c_str());
        ASSERT_NE(x, nullptr);
    }
    void TearDown() override
    {
        if (x)
            XCloseDisplay(x);
    }
    Display* x = nullptr;
};

// The kinds of the log's entries for `port`, in order ("+" grab, "w" write,
// "-" release), and the last value written to it (NaN for none).
inline std::string entriesFor(const std::vector<EmbeddedUi::Entry>& log, std::uint32_t port, float* last = nullptr)
{
    std::string kinds;
    for (const EmbeddedUi::Entry& e : log)
        if (e.port == port) {
            kinds += "+w-"[e.kind];
            if (last && e.kind == EmbeddedUi::Entry::write)
                *last = e.value;
        }
    return kinds;
}

inline float lastWrite(const std::vector<EmbeddedUi::Entry>& log, std::uint32_t port)
{
    float value = NAN;
    entriesFor(log, port, &value);
    return value;
}

// A gesture as a host records it: grabbed first, released last, written in
// between.
inline void expectGesture(const std::vector<EmbeddedUi::Entry>& log, std::uint32_t port)
{
    EXPECT_TRUE(std::regex_match(entriesFor(log, port), std::regex("\\+w+-"))) << entriesFor(log, port);
}

} // namespace lv2uitest
