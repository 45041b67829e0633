// The editor's LV2 UI as hosts see it. A small host of our own (lilv for the
// plug-in, the UI's own descriptor from the bundle, Xlib for a parent
// window, no toolkit from elsewhere) embeds the UI on a virtual display,
// drives it with idle calls and runs the plug-in between them, and moves
// the real pointer through XTest. It records what the UI hands the host:
// port writes and touch grabs and releases. Then jalv's Gtk host embeds the
// same UI, and its window is compared with the editor's own snapshot.
// gtest before Xlib, whose macros (None, Bool, Status) it would trip over.
#include <gtest/gtest.h>

#include "ImageTools.h"
#include "Lv2TestHost.h"
#include "VirtualDisplay.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <dlfcn.h>
#include <lv2/data-access/data-access.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>
#include <malloc.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

using namespace lv2test;

namespace {

constexpr const char* pluginUri = "urn:merovance:ostrand2";

// The display everything here uses, started once for the test program.
const std::string& display()
{
    static xtest::VirtualDisplay server;
    static const bool set = (::setenv("DISPLAY", server.name.c_str(), 1), true);
    (void)set;
    return server.name;
}

// The UI module of the built bundle.
class UiModule {
public:
    UiModule() : handle(dlopen(OSTRAND_LV2_BUNDLE "/ostrand_ui.so", RTLD_NOW | RTLD_LOCAL))
    {
        if (!handle)
            throw std::runtime_error(dlerror());
        auto entry = reinterpret_cast<const LV2UI_Descriptor* (*)(std::uint32_t)>(dlsym(handle, "lv2ui_descriptor"));
        descriptor = entry ? entry(0) : nullptr;
    }
    ~UiModule() { dlclose(handle); }
    UiModule(const UiModule&) = delete;
    UiModule& operator=(const UiModule&) = delete;

    void* handle;
    const LV2UI_Descriptor* descriptor = nullptr;
};

UiModule& uiModule()
{
    static UiModule module;
    return module;
}

// One instance with its UI embedded in a parent window of the test's own.
// Port writes land in the instance's control values, as a host would set
// them, and every write and touch is logged: "write 17 0.5", "touch 17 on".
class EmbeddedUi {
public:
    EmbeddedUi(Host& h, Instance& i, Display* x, int left = 0)
        : host(h), instance(i), xDisplay(x)
    {
        parent = XCreateSimpleWindow(x, DefaultRootWindow(x), left, 0, 640, 522, 0, 0, 0);
        XMapWindow(x, parent);
        XSync(x, False);
        extensionData = {lilv_instance_get_descriptor(instance.get())->extension_data};
        touch = {this, [](LV2UI_Feature_Handle self, std::uint32_t port, bool grabbed) {
                     static_cast<EmbeddedUi*>(self)->log.push_back("touch " + std::to_string(port) +
                                                                   (grabbed ? " on" : " off"));
                 }};
        resize = {this, [](LV2UI_Feature_Handle self, int w, int hgt) {
                      static_cast<EmbeddedUi*>(self)->size = {w, hgt};
                      return 0;
                  }};
        parentFeature = {LV2_UI__parent, reinterpret_cast<void*>(parent)};
        instanceFeature = {LV2_INSTANCE_ACCESS_URI, lilv_instance_get_handle(instance.get())};
        const LV2_Feature* const* hostFeatures = host.getFeatures();
        std::vector<const LV2_Feature*> all{&parentFeature, &instanceFeature, &dataFeature, &touchFeature,
                                            &resizeFeature};
        for (const LV2_Feature* const* f = hostFeatures; *f; ++f)
            all.push_back(*f);
        all.push_back(nullptr);
        const LV2UI_Descriptor* d = uiModule().descriptor;
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
            uiModule().descriptor->cleanup(ui);
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
        uiModule().descriptor->port_event(ui, instance.port(symbol), sizeof value, 0, &value);
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

    std::vector<std::string> log;
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
        char text[64];
        std::snprintf(text, sizeof text, "write %u %.4f", port, static_cast<double>(value));
        me.log.push_back(text);
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
    LV2UI_Handle ui = nullptr;
    LV2UI_Widget widget = nullptr;
    const LV2UI_Idle_Interface* idleInterface = nullptr;
};

// The real pointer, through XTest, in root coordinates.
struct Pointer {
    Display* x;
    void keys(bool down, KeySym key) { XTestFakeKeyEvent(x, XKeysymToKeycode(x, key), down, 0); }
    void move(int px, int py) { XTestFakeMotionEvent(x, -1, px, py, 0); XFlush(x); }
    void button(bool down) { XTestFakeButtonEvent(x, 1, down, 0); XFlush(x); }
};

// The log entries that mention `port`, in order.
std::vector<std::string> entriesFor(const std::vector<std::string>& log, std::uint32_t port)
{
    std::vector<std::string> out;
    const std::string tag = " " + std::to_string(port) + " ";
    for (const std::string& e : log)
        if ((e + " ").find(tag) != std::string::npos)
            out.push_back(e);
    return out;
}

// The last value written to `port`, or NaN.
float lastWrite(const std::vector<std::string>& log, std::uint32_t port)
{
    float value = NAN;
    for (const std::string& e : entriesFor(log, port))
        if (e.rfind("write", 0) == 0)
            value = std::strtof(e.c_str() + e.rfind(' ') + 1, nullptr);
    return value;
}

// A gesture as a host records it: grabbed first, released last, written in
// between.
void expectGesture(const std::vector<std::string>& log, std::uint32_t port)
{
    const std::vector<std::string> entries = entriesFor(log, port);
    ASSERT_GE(entries.size(), 3u) << "port " << port;
    EXPECT_EQ(entries.front(), "touch " + std::to_string(port) + " on");
    EXPECT_EQ(entries.back(), "touch " + std::to_string(port) + " off");
    for (std::size_t i = 1; i + 1 < entries.size(); ++i)
        EXPECT_EQ(entries[i].rfind("write", 0), 0u) << entries[i];
}

struct XResources {
    long windows = 0;
    long pixmaps = 0;
    int clients = 0;
};

// Windows and pixmaps held by every client of the server, from the server.
XResources serverResources(Display* x)
{
    XResources total;
    int count = 0;
    XResClient* clients = nullptr;
    if (!XResQueryClients(x, &count, &clients))
        return total;
    total.clients = count;
    const Atom window = XInternAtom(x, "WINDOW", False), pixmap = XInternAtom(x, "PIXMAP", False);
    for (int c = 0; c < count; ++c) {
        int types = 0;
        XResType* list = nullptr;
        if (!XResQueryClientResources(x, clients[c].resource_base, &types, &list))
            continue;
        for (int t = 0; t < types; ++t) {
            if (list[t].resource_type == window)
                total.windows += list[t].count;
            else if (list[t].resource_type == pixmap)
                total.pixmaps += list[t].count;
        }
        XFree(list);
    }
    XFree(clients);
    return total;
}

} // namespace

TEST(Lv2Ui, DragsShiftClicksAndUndoReachTheHostAsPortWritesInsideTouchGestures)
{
    ASSERT_FALSE(display().empty()) << "Xvfb did not start";
    Display* x = XOpenDisplay(display().c_str());
    ASSERT_NE(x, nullptr);
    Host host;
    Instance instance(host, pluginUri);
    instance.set("filter_1_freq", 0.5f);
    instance.set("filter_1_peak", 0.5f);
    {
        EmbeddedUi ui(host, instance, x);
        ASSERT_TRUE(ui.open());
        EXPECT_EQ(ui.size, std::make_pair(640, 522));
        ui.spin();
        const std::uint32_t freq = instance.port("filter_1_freq"), peak = instance.port("filter_1_peak"),
                            slope = instance.port("filter_1_slope");

        // Filter 1's dot sits at (10 + 620 x 0.5, 34 + 10 + 243 x 0.5).
        Pointer pointer{x};
        pointer.move(320, 165);
        ui.spin(60);
        pointer.button(true);
        ui.spin(60);
        for (int step = 1; step <= 4; ++step) {
            pointer.move(320 + 16 * step, 165 - 6 * step);
            ui.spin(40);
        }
        pointer.button(false);
        ui.spin();
        expectGesture(ui.log, freq);
        expectGesture(ui.log, peak);
        EXPECT_NEAR(lastWrite(ui.log, freq), 0.5f + 64.0f / 620.0f, 2e-3f);
        EXPECT_NEAR(lastWrite(ui.log, peak), 0.5f + 24.0f / 243.0f, 5e-3f);
        EXPECT_NEAR(instance.get("filter_1_freq"), 0.5f + 64.0f / 620.0f, 2e-3f);

        // A Shift-click on the dot where it is now steps the slope and
        // moves nothing.
        ui.log.clear();
        pointer.keys(true, XK_Shift_L);
        pointer.move(384, 141);
        ui.spin(60);
        pointer.button(true);
        ui.spin(60);
        pointer.move(400, 150);
        ui.spin(60);
        pointer.button(false);
        pointer.keys(false, XK_Shift_L);
        ui.spin();
        expectGesture(ui.log, slope);
        EXPECT_EQ(lastWrite(ui.log, slope), 2.0f);
        EXPECT_TRUE(std::isnan(lastWrite(ui.log, freq)));

        // Undo twice: the slope, then the drag; the host's controls follow.
        for (int i = 0; i < 2; ++i) {
            pointer.move(128, 17);
            ui.spin(60);
            pointer.button(true);
            ui.spin(40);
            pointer.button(false);
            ui.spin();
        }
        EXPECT_EQ(instance.get("filter_1_slope"), 1.0f);
        EXPECT_NEAR(instance.get("filter_1_freq"), 0.5f, 1e-4f);
        EXPECT_NEAR(instance.get("filter_1_peak"), 0.5f, 1e-4f);

        // The host moves the control itself: the dot is there after one idle
        // call (its amber core at the new place).
        ui.hostSets("filter_1_freq", 0.2f);
        ui.spin(1);
        const unsigned long at = ui.pixel(10 + 124, 165);
        EXPECT_GT(at >> 16 & 0xff, 200u) << std::hex << at;
        EXPECT_LT(at & 0xff, 120u) << std::hex << at;
    }
    XCloseDisplay(x);
}

TEST(Lv2Ui, OpeningAndClosingFiftyTimesInTwoInstancesLeavesNoWindowPixmapOrMemoryBehind)
{
    ASSERT_FALSE(display().empty()) << "Xvfb did not start";
    Display* x = XOpenDisplay(display().c_str());
    ASSERT_NE(x, nullptr);
    Host host;
    Instance first(host, pluginUri), second(host, pluginUri);
    auto cycle = [&] {
        EmbeddedUi a(host, first, x, 0);
        EmbeddedUi b(host, second, x, 320);
        ASSERT_TRUE(a.open() && b.open());
        a.spin(10);
        b.spin(10);
    };
    cycle();
    const XResources before = serverResources(x);
    const std::size_t heapBefore = mallinfo2().uordblks;
    for (int i = 0; i < 50; ++i)
        cycle();
    const XResources after = serverResources(x);
    const std::size_t heapAfter = mallinfo2().uordblks;
    EXPECT_EQ(after.clients, before.clients);
    EXPECT_EQ(after.windows, before.windows);
    EXPECT_EQ(after.pixmaps, before.pixmaps);
    EXPECT_LT(heapAfter, heapBefore + (1u << 20)) << "heap in use grew from " << heapBefore << " to " << heapAfter;
    XCloseDisplay(x);
}

TEST(Lv2Ui, JalvEmbedsTheEditorAsItsSnapshotShowsIt)
{
    ASSERT_FALSE(display().empty()) << "Xvfb did not start";
    imagetools::ScratchFolder dir;
    const std::string snapshot = dir / "snapshot.png";
    ASSERT_TRUE(imagetools::run("env -u DISPLAY '" OSTRAND_EDITOR "' --snapshot '" + snapshot + "'"));
    // jalv's Gtk host on a JACK server of our own with the dummy backend;
    // the editor is the 640 x 522 window inside jalv's.
    std::ofstream(dir / "jalv.sh") << "export LV2_PATH='" << std::filesystem::path(OSTRAND_LV2_BUNDLE).parent_path().string()
                                   << "'\n"
                                      "export JACK_DEFAULT_SERVER=ostrand-ui-test-$$\n"
                                      "jackd --no-realtime -d dummy -r 48000 -p 256 >/dev/null 2>&1 &\n"
                                      "server=$!\n"
                                      "for i in $(seq 100); do [ -S /dev/shm/jack_${JACK_DEFAULT_SERVER}_$(id -u)_0 ] && break; sleep 0.1; done\n"
                                      "timeout 40 jalv.gtk3 "
                                   << pluginUri
                                   << " >/dev/null 2>&1 &\n"
                                      "jalv=$!\n"
                                      "editor=\n"
                                      "for i in $(seq 150); do\n"
                                      "  top=$(xdotool search --name 'Ostrand' 2>/dev/null | head -1)\n"
                                      "  [ -n \"$top\" ] && editor=$(xwininfo -tree -id $top | awk '/640x522\\+/ {print $1; exit}')\n"
                                      "  [ -n \"$editor\" ] && break\n"
                                      "  sleep 0.2\n"
                                      "done\n"
                                      "sleep 1.5\n"
                                      "[ -n \"$editor\" ] && import -window $editor '"
                                   << (dir / "jalv.png")
                                   << "'\n"
                                      "kill $jalv; wait $jalv 2>/dev/null\n"
                                      "kill $server; wait $server 2>/dev/null\n";
    imagetools::run("bash '" + dir / "jalv.sh" + "'");
    const imagetools::RgbaImage shot = imagetools::readWithImageMagick(dir / "jalv.png");
    ASSERT_EQ(shot.width, 640) << "jalv showed no editor";
    ASSERT_EQ(shot.height, 522);
    const std::string differing = xtest::capture("compare -metric AE -fuzz 3% '" + dir / "jalv.png" + "' '" +
                                                 snapshot + "' null: 2>&1");
    EXPECT_LT(std::strtol(differing.c_str(), nullptr, 10), 200) << differing;
}
