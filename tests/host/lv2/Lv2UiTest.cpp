// The editor's LV2 UI as hosts see it: embedded by a small host of our own
// (Lv2UiHost.h) on a virtual display, driven through XTest, with the port
// writes and touch grabs it hands the host recorded, at the host's scale
// factor (none offered, or 2) too; two editors in one process take only
// their own pointer and share the controllers learned in either; Help Topics
// opens the manual of the bundle the host loaded. Then jalv's Gtk host
// embeds the same UI, and its window is compared with the editor's snapshot.
// gtest before Xlib, whose macros (None, Bool, Status) it would trip over.
#include <gtest/gtest.h>

#include "ImageTools.h"
#include "Lv2UiHost.h"

#include <X11/extensions/XRes.h>
#include <X11/keysym.h>
#include <malloc.h>

#include <array>
#include <cctype>
#include <filesystem>
#include <fstream>

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
