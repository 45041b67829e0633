// The editor's LV2 UI as hosts see it: embedded by a small host of our own
// (lilv for the plug-in, the UI's own descriptor, Xlib, no toolkit) on a
// virtual display, driven through XTest, with the port writes and touch
// grabs it hands the host recorded, at the host's scale factor (none
// offered, or 2) too; two editors in one process take only their own
// pointer and share the controllers learned in either; Help Topics opens
// the manual of the bundle the host loaded. Then jalv's Gtk host embeds the
// same UI, and its window is compared with the editor's snapshot.
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

#include <array>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
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

using namespace lv2uitest;

namespace {

// The server's clients and every window and pixmap they hold, as counted by
// the server: {clients, windows, pixmaps}.
std::array<long, 3> serverResources(Display* x)
{
    std::array<long, 3> total{};
    int count = 0;
    XResClient* clients = nullptr;
    if (!XResQueryClients(x, &count, &clients))
        return total;
    total[0] = count;
    const Atom kinds[] = {XInternAtom(x, "WINDOW", False), XInternAtom(x, "PIXMAP", False)};
    for (int c = 0; c < count; ++c) {
        int types = 0;
        XResType* list = nullptr;
        if (!XResQueryClientResources(x, clients[c].resource_base, &types, &list))
            continue;
        for (int t = 0; t < types; ++t)
            for (int k = 0; k < 2; ++k)
                total[1 + k] += list[t].resource_type == kinds[k] ? list[t].count : 0;
        XFree(list);
    }
    XFree(clients);
    return total;
}

} // namespace

using Lv2Ui = OnDisplay;

TEST_F(Lv2Ui, AtTheHostsScaleDragsShiftClicksAndUndoReachTheHostInGestures)
{
    Host host;
    Pointer pointer{x};
    for (int offered : {0, 2}) {
        const int scale = std::max(offered, 1); // none offered: the editor's own size
        SCOPED_TRACE("scale " + std::to_string(offered));
        Instance instance(host, pluginUri);
        instance.set("filter_1_freq", 0.5f);
        instance.set("filter_1_peak", 0.5f);
        EmbeddedUi ui(host, instance, x, 0, static_cast<float>(offered));
        ASSERT_TRUE(ui.open());
        EXPECT_EQ(ui.size, std::make_pair(640 * scale, 522 * scale));
        ui.spin(300);

        // Filter 1's dot sits at (10 + 620 x 0.5, 34 + 10 + 243 x 0.5) editor
        // units: a drag of (64, -24) units in window pixels moves Freq and
        // Peak by as much, in one gesture each.
        const std::uint32_t freq = instance.port("filter_1_freq"), peak = instance.port("filter_1_peak"),
                            slope = instance.port("filter_1_slope");
        drag(ui, pointer, 320 * scale, 165 * scale, 384 * scale, 141 * scale, 4);
        EXPECT_NEAR(instance.get("filter_1_freq"), 0.5f + 64.0f / 620.0f, 2e-3f);
        EXPECT_NEAR(instance.get("filter_1_peak"), 0.5f + 24.0f / 243.0f, 5e-3f);
        if (offered != 0)
            continue;
        expectGesture(ui.log, freq);
        expectGesture(ui.log, peak);
        EXPECT_NEAR(lastWrite(ui.log, freq), instance.get("filter_1_freq"), 1e-4f);

        // A Shift-click on the dot where it is now steps the slope and
        // moves nothing.
        ui.log.clear();
        pointer.keys(true, XK_Shift_L);
        drag(ui, pointer, 384, 141, 400, 150, 1);
        pointer.keys(false, XK_Shift_L);
        expectGesture(ui.log, slope);
        EXPECT_EQ(lastWrite(ui.log, slope), 2.0f);
        EXPECT_TRUE(std::isnan(lastWrite(ui.log, freq)));

        // Undo twice: the slope, then the drag; the host's controls follow.
        click(ui, pointer, 128, 17);
        click(ui, pointer, 128, 17);
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
}

TEST_F(Lv2Ui, TwoEditorsInOneProcessTakeOnlyTheirOwnPointerShareLearnedControllersAndLeaveNothingBehind)
{
    Host host;
    Instance first(host, pluginUri), second(host, pluginUri);
    {
        // The second editor (at x 320) lies over the first's right half; both
        // have filter 1's dot under the pointer at (454, 165). The press goes
        // to the second alone, each editor driven only by its own idle calls.
        first.set("filter_1_freq", 444.0f / 620.0f);
        second.set("filter_1_freq", 124.0f / 620.0f);
        for (Instance* i : {&first, &second})
            i->set("filter_1_peak", 0.5f);
        EmbeddedUi a(host, first, x, 0);
        EmbeddedUi b(host, second, x, 320);
        ASSERT_TRUE(a.open() && b.open());
        auto spinBoth = [&](int ms) {
            for (int t = 0; t < ms; t += 10) {
                a.spin(1);
                b.spin(1);
            }
        };
        Pointer pointer{x};
        pointer.move(454, 165);
        spinBoth(100);
        pointer.button(true);
        spinBoth(60);
        pointer.move(494, 165);
        spinBoth(60);
        pointer.button(false);
        spinBoth(100);
        EXPECT_NEAR(second.get("filter_1_freq"), 164.0f / 620.0f, 2e-3f);
        EXPECT_NEAR(first.get("filter_1_freq"), 444.0f / 620.0f, 1e-5f);
        EXPECT_TRUE(a.log.empty());

        // MIDI learn in the second editor: its MIDI Learn button, then Filter
        // 1 Freq's knob (window (572, 17) and (98, 345)). Controller 21
        // through either plug-in's MIDI input then moves that parameter, and
        // each editor hands the value to its host: the UI module works on the
        // plug-in module's one controller map.
        click(b, pointer, 320 + 572, 17);
        click(b, pointer, 320 + 98, 345);
        auto controlChange = [&](Instance& instance, int value) {
            instance.getEvents().midi(0, 0xB0, 21, static_cast<std::uint8_t>(value));
            spinBoth(150);
        };
        controlChange(second, 127);
        click(b, pointer, 320 + 572, 17);
        controlChange(first, 0);
        const std::uint32_t freq = first.port("filter_1_freq");
        EXPECT_FLOAT_EQ(lastWrite(b.log, freq), 1.0f);
        EXPECT_FLOAT_EQ(lastWrite(a.log, freq), 0.0f);
    }
    auto cycle = [&] {
        EmbeddedUi a(host, first, x, 0);
        EmbeddedUi b(host, second, x, 320);
        ASSERT_TRUE(a.open() && b.open());
        a.spin(10);
        b.spin(10);
    };
    cycle();
    const std::array<long, 3> before = serverResources(x);
    const std::size_t heapBefore = mallinfo2().uordblks;
    for (int i = 0; i < 50; ++i)
        cycle();
    EXPECT_EQ(serverResources(x), before) << "clients, windows and pixmaps";
    const std::size_t heapAfter = mallinfo2().uordblks;
    EXPECT_LT(heapAfter, heapBefore + (1u << 20)) << "heap in use grew from " << heapBefore << " to " << heapAfter;
}

TEST_F(Lv2Ui, HelpTopicsOpensTheManualOfTheLoadedBundleWithXdgOpen)
{
    // A recorder first on PATH stands in for xdg-open.
    imagetools::ScratchFolder dir;
    const std::string opened = dir / "opened", recorder = dir / "xdg-open";
    std::ofstream(recorder) << "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" << opened << ".part' && mv '" << opened
                            << ".part' '" << opened << "'\n";
    std::filesystem::permissions(recorder, std::filesystem::perms::owner_all);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", (std::filesystem::path(recorder).parent_path().string() + ":" + path).c_str(), 1);
    Host host;
    Instance instance(host, pluginUri);
    {
        EmbeddedUi ui(host, instance, x);
        ASSERT_TRUE(ui.open());
        ui.spin();
        // The Help button (496..538 x 6..28), then the first item of the
        // menu hanging from its lower left corner.
        Pointer pointer{x};
        click(ui, pointer, 517, 17);
        click(ui, pointer, 516, 36);
        for (int wait = 0; wait < 40 && !std::filesystem::exists(opened); ++wait)
            ui.spin(50);
    }
    ::setenv("PATH", path.c_str(), 1);
    ASSERT_TRUE(std::filesystem::exists(opened)) << "xdg-open was not run";
    std::string target;
    std::getline(std::ifstream(opened), target);
    EXPECT_EQ(std::filesystem::canonical(target), std::filesystem::canonical(OSTRAND_LV2_BUNDLE "/manual/index.html"));
}

TEST_F(Lv2Ui, JalvEmbedsTheEditorAsItsSnapshotShowsIt)
{
    imagetools::ScratchFolder dir;
    const std::string snapshot = dir / "snapshot.png", shot = dir / "jalv.png";
    ASSERT_TRUE(imagetools::run("env -u DISPLAY '" OSTRAND_EDITOR "' --snapshot '" + snapshot + "'"));
    // jalv's Gtk host; the editor is the 640 x 522 window inside jalv's.
    testsupport::writeFile(dir / "jalv.sh", testsupport::withJackServer(
        "export LV2_PATH='" + std::filesystem::path(OSTRAND_LV2_BUNDLE).parent_path().string() + "'\n"
        "timeout 40 jalv.gtk3 " + pluginUri + " >/dev/null 2>&1 &\n"
        "jalv=$!\n"
        "editor=\n"
        "for i in $(seq 150); do\n"
        "  top=$(xdotool search --name 'Ostrand' 2>/dev/null | head -1)\n"
        "  [ -n \"$top\" ] && editor=$(xwininfo -tree -id $top | awk '/640x522\\+/ {print $1; exit}')\n"
        "  [ -n \"$editor\" ] && break\n"
        "  sleep 0.2\n"
        "done\n"
        "sleep 1.5\n"
        "[ -n \"$editor\" ] && import -window $editor '" + shot + "'\n"
        "kill $jalv; wait $jalv 2>/dev/null"));
    testsupport::runCommand("bash '" + dir / "jalv.sh" + "'");
    const imagetools::RgbaImage image = imagetools::readWithImageMagick(shot);
    ASSERT_EQ(image.width, 640) << "jalv showed no editor";
    ASSERT_EQ(image.height, 522);
    const std::string differing =
        testsupport::runCommand("compare -metric AE -fuzz 3% '" + shot + "' '" + snapshot + "' null:").output;
    // compare prints a count, or an error text that strtol would read as 0.
    ASSERT_TRUE(!differing.empty() && std::isdigit(static_cast<unsigned char>(differing[0]))) << differing;
    EXPECT_LT(std::strtol(differing.c_str(), nullptr, 10), 200) << differing;
}
