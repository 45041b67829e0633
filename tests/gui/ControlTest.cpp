// The control tree fed with synthetic input through the root, as the window
// would feed it: hit testing by opacity, capture, hover and hints,
// the update queue, notification order, and the repainting of dirty areas.
#include "gui/Canvas.h"
#include "gui/Control.h"
#include "gui/HeadlessInterface.h"
#include "gui/RootControl.h"
#include "gui/Timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace gui;

namespace {

// A control that fills itself with a colour and writes down what happens to
// it, into a log shared with its siblings.
class Probe : public Control {
public:
    Probe(Control& parent, const Rect& frame, std::string probeName, std::vector<std::string>& eventLog,
          Pixel colour = rgba(200, 0, 0))
        : Control(parent, frame), name(std::move(probeName)), log(eventLog), fill(colour)
    {
        clicked.addHandler([this](NotifyEvent&) { note("click"); });
    }

    void paint(Canvas& canvas) override { canvas.fillRect({0, 0, width(), height()}, fill); }
    int opacityAt(Point p) const override { return round && (p.x - 10) * (p.x - 10) + (p.y - 10) * (p.y - 10) > 100 ? 0 : 255; }
    void mouseDown(MouseButton b, Point p, int m) override { note("down", p); Control::mouseDown(b, p, m); }
    void mouseMove(Point p, int m) override { note("move", p); Control::mouseMove(p, m); }
    void mouseUp(MouseButton b, Point p, int m) override { note("up", p); Control::mouseUp(b, p, m); }
    void mouseEntered() override { note("entered"); }
    void mouseLeft() override { note("left"); }
    void deferredUpdate() override { note("update"); }
    void note(const std::string& what) { log.push_back(name + " " + what); }
    void note(const std::string& what, Point p) { note(what + " " + std::to_string(p.x) + "," + std::to_string(p.y)); }

    std::string name;
    std::vector<std::string>& log;
    Pixel fill;
    bool round = false;
};

class HintLog : public UserInterface::Listener {
public:
    void showHint(const std::string& text) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

} // namespace

TEST(ControlDispatch, HitTestingFollowsOpacity)
{
    HeadlessInterface ui(200, 100);
    std::vector<std::string> log;
    RootControl& root = ui.root();
    Probe& below = root.add<Probe>(Rect{0, 0, 100, 100}, "below", log);
    Probe& above = root.add<Probe>(Rect{0, 0, 50, 50}, "above", log);

    // The topmost child wins while it is opaque enough; at 240 it is drawn
    // but the mouse goes through it, at 241 it is hit.
    EXPECT_EQ(root.controlAt({10, 10}), &above);
    above.opacity = 240;
    EXPECT_EQ(root.controlAt({10, 10}), &below);
    above.opacity = 241;
    EXPECT_EQ(root.controlAt({10, 10}), &above);

    // A fully opaque child inside a half-transparent parent is not hit.
    above.opacity = 255;
    Probe& inner = above.add<Probe>(Rect{5, 5, 15, 15}, "inner", log);
    EXPECT_EQ(root.controlAt({7, 7}), &inner);
    EXPECT_EQ(root.controlAt({20, 20}), &above);
    above.opacity = 128;
    EXPECT_EQ(root.controlAt({7, 7}), &below);
    above.opacity = 255;

    // A round control is hit only inside its circle; hidden and disabled
    // controls never are; the right and bottom edges are outside.
    above.round = true;
    EXPECT_EQ(root.controlAt({3, 10}), &above);
    EXPECT_EQ(root.controlAt({1, 1}), &below);
    above.round = false;
    EXPECT_EQ(root.controlAt({49, 49}), &above);
    EXPECT_EQ(root.controlAt({50, 49}), &below);
    above.enabled = false;
    EXPECT_EQ(root.controlAt({10, 40}), &below);
    above.enabled = true;
    above.visible = false;
    EXPECT_EQ(root.controlAt({10, 40}), &below);
    EXPECT_FALSE(inner.isShown());
    EXPECT_EQ(root.controlAt({150, 50}), &root);
}

TEST(ControlDispatch, CaptureHoldsAcrossTheWindowEdgeAndHoverFollowsTheMouse)
{
    HeadlessInterface ui(200, 100);
    std::vector<std::string> log;
    Probe& a = ui.root().add<Probe>(Rect{10, 10, 60, 60}, "a", log);
    ui.root().add<Probe>(Rect{100, 10, 150, 60}, "b", log);
    a.hint = "Knob A";
    HintLog hints;
    ui.addListener(hints);
    RootControl& root = ui.root();

    root.mouseMoveAt({20, 20}, 0);
    root.mouseMoveAt({110, 20}, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"a entered", "a move 10,10", "a left", "b entered", "b move 10,10"}));
    // b has no hint: the pending one of a never shows.
    ui.advance(2000);
    EXPECT_EQ(hints.shown, (std::vector<std::string>{""}));

    // A press on a captures the mouse: moves and the release outside the
    // window still reach a, in its own coordinates, and the release there
    // is no click.
    log.clear();
    root.mouseMoveAt({20, 20}, 0);
    root.mouseDownAt(MouseButton::Left, {20, 20}, Modifier::LeftButton);
    EXPECT_EQ(ui.capturedControl(), &a);
    EXPECT_EQ(ui.focusedControl(), &a);
    root.mouseMoveAt({120, 20}, Modifier::LeftButton);
    root.mouseMoveAt({-30, 250}, Modifier::LeftButton);
    root.mouseUpAt(MouseButton::Left, {-30, 250}, 0);
    EXPECT_EQ(ui.capturedControl(), nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"b left", "a entered", "a move 10,10", "a down 10,10", "a move 110,10",
                                             "a move -40,240", "a up -40,240", "a left"}));

    // Press and release on the control is a click; hover is tracked again
    // once the capture has ended.
    log.clear();
    root.mouseDownAt(MouseButton::Left, {30, 30}, Modifier::LeftButton);
    root.mouseUpAt(MouseButton::Left, {31, 30}, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"a down 20,20", "a up 21,20", "a click", "a entered"}));

    // Leaving the window clears a hint that shows; switched off, hints do
    // not show. (The delay is the editor frame's test.)
    root.mouseMoveAt({32, 30}, 0);
    ui.advance(1500);
    EXPECT_EQ(hints.shown.back(), "Knob A");
    root.mouseLeftWindow();
    EXPECT_EQ(hints.shown.back(), "");
    ui.setHintsEnabled(false);
    const std::size_t shown = hints.shown.size();
    root.mouseMoveAt({33, 30}, 0);
    ui.advance(3000);
    EXPECT_EQ(hints.shown.size(), shown);
    ui.removeListener(hints);
}

TEST(ControlDispatch, DeferredUpdatesAndTeardown)
{
    HeadlessInterface ui(100, 100);
    const std::size_t baseline = ui.componentCount();
    std::vector<std::string> log;
    Probe& a = ui.root().add<Probe>(Rect{0, 0, 50, 50}, "a", log);
    Probe& b = ui.root().add<Probe>(Rect{50, 0, 100, 50}, "b", log);
    Probe& c = b.add<Probe>(Rect{0, 0, 10, 10}, "c", log);

    // Queued twice, updated once, 50 ms later.
    a.queueUpdate();
    a.queueUpdate();
    c.queueUpdate();
    ui.advance(49);
    EXPECT_TRUE(log.empty());
    ui.advance(1);
    EXPECT_EQ(log, (std::vector<std::string>{"a update", "c update"}));

    // A control that goes away takes its capture, hover, focus and queued
    // update with it, and its children with it.
    log.clear();
    ui.root().mouseMoveAt({55, 5}, 0);
    ui.root().mouseDownAt(MouseButton::Left, {55, 5}, Modifier::LeftButton);
    EXPECT_EQ(ui.capturedControl(), &c);
    c.queueUpdate();
    delete &b;
    EXPECT_EQ(ui.capturedControl(), nullptr);
    EXPECT_EQ(ui.focusedControl(), nullptr);
    EXPECT_EQ(ui.controlUnderMouse(), nullptr);
    ui.advance(100);
    ui.root().mouseUpAt(MouseButton::Left, {55, 5}, 0);
    EXPECT_EQ(log, (std::vector<std::string>{"c entered", "c move 5,5", "c down 5,5"}));
    delete &a;
    EXPECT_EQ(ui.componentCount(), baseline);
}

TEST(NotifyEvent, HandlersRunFromTheLastAddedAndMayRemoveOthersWhileItFires)
{
    struct Listener {
        std::vector<int>& order;
        int id;
        void heard(NotifyEvent&) { order.push_back(id); }
    };
    std::vector<int> order;
    Listener one{order, 1}, two{order, 2}, three{order, 3};
    NotifyEvent event;
    event.addHandler(&one, &Listener::heard);
    event.addHandler(&two, &Listener::heard);
    event.addHandler(&three, &Listener::heard);
    event.removeHandler(&two, &Listener::heard);
    // Removes a handler that has yet to run in this firing.
    event.addHandler([&](NotifyEvent&) { event.removeHandler(&one, &Listener::heard); });
    event.fire();
    event.fire();
    EXPECT_EQ(order, (std::vector<int>{3, 3}));
}

TEST(ControlPainting, OnlyTheDirtyAreaIsRepainted)
{
    for (int scale : {1, 2}) {
        HeadlessInterface ui(100, 60, scale);
        std::vector<std::string> log;
        Probe& left = ui.root().add<Probe>(Rect{10, 10, 40, 40}, "left", log, rgba(255, 0, 0));
        Probe& right = ui.root().add<Probe>(Rect{60, 10, 90, 40}, "right", log, rgba(0, 0, 255));
        const Bitmap& surface = ui.render();
        ASSERT_EQ(surface.width(), 100 * scale);
        EXPECT_EQ(surface.pixelAt(20 * scale, 20 * scale), rgba(255, 0, 0));
        EXPECT_EQ(surface.pixelAt(39 * scale + scale - 1, 39 * scale + scale - 1), rgba(255, 0, 0));
        EXPECT_EQ(surface.pixelAt(40 * scale, 39 * scale), ui.root().background);

        // A change on the right repaints the right only: a mark left on the
        // left survives.
        ui.root().surface().row(20 * scale)[20 * scale] = rgba(1, 2, 3);
        right.fill = rgba(0, 255, 0);
        right.opacity = 128;
        EXPECT_EQ(ui.root().dirtyRect(), (Rect{60, 10, 90, 40}));
        EXPECT_EQ(ui.root().paintDirty(), (Rect{60, 10, 90, 40}.scaled(scale)));
        EXPECT_EQ(surface.pixelAt(20 * scale, 20 * scale), rgba(1, 2, 3));
        // Half of the green over the background.
        const Pixel mixed = surface.pixelAt(70 * scale, 20 * scale);
        const Pixel bg = ui.root().background;
        EXPECT_NEAR(static_cast<int>(greenOf(mixed)), (255 * 128 + greenOf(bg) * 127) / 255, 1);
        EXPECT_NEAR(static_cast<int>(redOf(mixed)), redOf(bg) * 127 / 255, 1);

        // Changes on both sides repaint both, and not what lies between.
        ui.root().surface().row(20 * scale)[50 * scale] = rgba(1, 2, 3);
        left.fill = rgba(255, 255, 0);
        right.fill = rgba(0, 0, 255);
        left.invalidate();
        right.invalidate();
        EXPECT_EQ(ui.root().paintDirtyAreas(),
                  (std::vector<Rect>{Rect{10, 10, 40, 40}.scaled(scale), Rect{60, 10, 90, 40}.scaled(scale)}));
        EXPECT_EQ(surface.pixelAt(50 * scale, 20 * scale), rgba(1, 2, 3));
        EXPECT_EQ(surface.pixelAt(20 * scale, 20 * scale), rgba(255, 255, 0));

        // Hiding a control repaints what was under it.
        left.visible = false;
        ui.render();
        EXPECT_EQ(surface.pixelAt(20 * scale, 20 * scale), bg);
    }
}
