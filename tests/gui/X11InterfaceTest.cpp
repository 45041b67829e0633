// Two editors embedded in host windows of one process on a virtual display,
// each driven only by its idle call: pointer events from XTest (xdotool)
// reach the editor under the pointer and no other, both keep their timers,
// and the host window shows what the editor painted.
#include "gui/Knob.h"
#include "gui/Timer.h"
#include "gui/x11/X11Interface.h"

#include "ImageTools.h"
#include "VirtualDisplay.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace gui;

TEST(X11Interface, EmbeddedEditorsInOneProcessAreDrivenByTheirIdleCalls)
{
    xtest::VirtualDisplay display;
    ASSERT_FALSE(display.name.empty()) << "Xvfb did not start";
    setenv("DISPLAY", display.name.c_str(), 1);

    // The host: one top-level window holding both editors side by side.
    X11Interface host({0, 0, 0, 320, 120, 1, "Host"});
    X11Interface::Options left{host.windowId(), 10, 10, 140, 100, 1, {}};
    X11Interface::Options right = left;
    right.x = 170;
    X11Interface first(left), second(right);
    Knob& one = first.root().add<Knob>(Rect::ofSize(50, 30, 40, 40));
    Knob& two = second.root().add<Knob>(Rect::ofSize(50, 30, 40, 40));
    int ticks[2] = {0, 0};
    auto timer1 = first.createTimer(20), timer2 = second.createTimer(20);
    timer1->elapsed.addHandler([&](NotifyEvent&) { ++ticks[0]; });
    timer2->elapsed.addHandler([&](NotifyEvent&) { ++ticks[1]; });
    timer1->start();
    timer2->start();

    auto idle = [&](int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (std::chrono::steady_clock::now() < end) {
            host.idle();
            first.idle();
            second.idle();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    };
    idle(300);
    EXPECT_GT(ticks[0], 5);
    EXPECT_GT(ticks[1], 5);

    // A click just above the right knob's centre points that knob (one
    // without an image is a dial) at the middle of its arc, and no other.
    const std::string env = "DISPLAY=" + display.name + " ";
    ASSERT_TRUE(imagetools::run(env + "xdotool mousemove --window " + std::to_string(host.windowId()) +
                                " 240 52 click 1"));
    idle(300);
    EXPECT_EQ(two.value, 2048);
    EXPECT_EQ(one.value, 0);

    // The host window's picture holds the right editor's ring, filled up to
    // the top, and the left one's empty.
    imagetools::ScratchFolder dir;
    ASSERT_TRUE(imagetools::run(env + "import -window root '" + dir / "screen.png" + "'"));
    const imagetools::RgbaImage screen = imagetools::readWithImageMagick(dir / "screen.png");
    ASSERT_GT(screen.width, 300);
    auto orange = [&](int x, int y) {
        const std::uint8_t* p = screen.at(x, y);
        return p[0] > 200 && p[1] > 130 && p[1] < 190 && p[2] < 90;
    };
    // Ring at radius 16.5 on the left side (270 degrees) of each knob.
    EXPECT_TRUE(orange(170 + 70 - 16, 10 + 50));
    EXPECT_FALSE(orange(10 + 70 - 16, 10 + 50));
}
