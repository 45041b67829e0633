// The control tree fed with synthetic input through the root, as the window
// would feed it: hit testing by opacity, capture, hover and hints,
// the update queue, notification order, and the repainting of dirty areas.
#include "ImageTools.h"
#include "gui/Bitmap.h"
#include "gui/Button.h"
#include "gui/Canvas.h"
#include "gui/Control.h"
#include "gui/Dialogs.h"
#include "gui/DragStage.h"
#include "gui/HeadlessInterface.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/Menu.h"
#include "gui/ModifierActions.h"
#include "gui/RootControl.h"
#include "gui/TextField.h"
#include "gui/Timer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <optional>
#include <type_traits>
#include <utility>

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

// Popup menus drawn inside the window, driven by synthetic input.
TEST(PopupMenu, ChoosesDismissesAndOpensSubmenus)
{
    HeadlessInterface ui(300, 200);
    RootControl& root = ui.root();
    const std::size_t baseline = root.children().size();
    Menu inner;
    inner.add("Deep", 30);
    Menu menu;
    menu.add("First", 10).add("Disabled", 11, false, false).addSeparator().addSubmenu("More", inner).add("Last", 12);

    std::vector<int> chosen;
    auto open = [&] { popupMenu(root, menu, {20, 20}, [&](int id) { chosen.push_back(id); }); };
    auto click = [&](Point p) {
        root.mouseMoveAt(p, 0);
        root.mouseDownAt(MouseButton::Left, p, Modifier::LeftButton);
        root.mouseUpAt(MouseButton::Left, p, 0);
    };
    ASSERT_EQ(root.children().size(), baseline);

    // The overlay takes the window; an item's row is found by its text's
    // line height, so aim at the middle of the first row.
    open();
    ASSERT_EQ(root.children().size(), baseline + 1);
    // The panel goes with the menu when it closes; every later opening puts
    // its panel at the same place, so keep the place, not the control.
    const Rect panel = root.children().back()->children().front()->frame();
    const int row = (panel.height() - 4 - 7) / 4;
    const int x = panel.left + 30;
    auto rowY = [&](int i, int separators) { return panel.top + 2 + i * row + separators * 7 + row / 2; };

    // Hovering an item highlights it: its row changes colour.
    ui.render();
    const Pixel before = root.surface().pixelAt(x + 40, rowY(0, 0));
    root.mouseMoveAt({x, rowY(0, 0)}, 0);
    ui.render();
    EXPECT_NE(root.surface().pixelAt(x + 40, rowY(0, 0)), before);

    click({x, rowY(1, 0)}); // disabled: nothing happens, the menu stays
    EXPECT_TRUE(chosen.empty());
    click({x, rowY(0, 0)});
    EXPECT_EQ(chosen, (std::vector<int>{10}));
    EXPECT_EQ(root.children().size(), baseline);

    // A click outside dismisses with 0, and so does Escape.
    open();
    click({290, 190});
    open();
    root.children().back()->takeFocus();
    root.keyDown({KeyCode::Escape, "", 0});
    EXPECT_EQ(chosen, (std::vector<int>{10, 0, 0}));

    // Hovering "More" opens its submenu to the right; its item is chosen.
    open();
    root.mouseMoveAt({x, rowY(2, 1)}, 0);
    const Control& menuOverlay = *root.children().back();
    ASSERT_EQ(menuOverlay.children().size(), 2u);
    const Control& sub = *menuOverlay.children().back();
    EXPECT_GE(sub.position().x, panel.right - 2);
    click({sub.position().x + 20, sub.position().y + 2 + row / 2});
    EXPECT_EQ(chosen.back(), 30);

    // Keys: Down skips the disabled item and the separator.
    open();
    root.keyDown({KeyCode::Down, "", 0});
    root.keyDown({KeyCode::Down, "", 0});
    root.keyDown({KeyCode::Down, "", 0});
    root.keyDown({KeyCode::Enter, "", 0});
    EXPECT_EQ(chosen.back(), 12);
    EXPECT_EQ(root.children().size(), baseline);
}

// Dialogs and drag and drop inside the window, driven by synthetic input:
// typing into a text entry, confirming and cancelling, browsing folders,
// and the course of a drag over controls to a drop or a cancel.
namespace {

template <typename T> T* findShown(Control& in, const std::string& caption = {})
{
    if (auto* c = dynamic_cast<T*>(&in); c && c->isShown()) {
        if constexpr (std::is_same_v<T, Button>) {
            if (c->caption.get() == caption)
                return c;
        } else {
            return c;
        }
    }
    for (Control* child : in.children())
        if (T* found = findShown<T>(*child, caption))
            return found;
    return nullptr;
}

Button* findButton(Control& in, const std::string& caption) { return findShown<Button>(in, caption); }

void clickAt(RootControl& root, Point p, int extra = 0)
{
    root.mouseMoveAt(p, 0);
    root.mouseDownAt(MouseButton::Left, p, Modifier::LeftButton | extra);
    root.mouseUpAt(MouseButton::Left, p, 0);
}

void click(RootControl& root, Control& control, int extra = 0)
{
    clickAt(root, control.toRoot({control.width() / 2, control.height() / 2}), extra);
}

void type(RootControl& root, const std::string& text)
{
    for (char c : text)
        root.keyDown({KeyCode::Character, std::string(1, c), 0});
}

} // namespace

TEST(Dialogs, TextEntryConfirmAndMessage)
{
    HeadlessInterface ui(400, 300);
    RootControl& root = ui.root();
    const std::size_t baseline = ui.componentCount();
    std::vector<std::optional<std::string>> texts;
    auto entry = [&](const std::string& initial) {
        textEntryDialog(root, "Save the preset as:", initial, [&](std::optional<std::string> t) { texts.push_back(t); });
    };

    // Typing goes to the field at its caret, which the keys move a whole
    // character at a time (also over letters of two bytes) and a click puts
    // at the nearest character; the text shows in the field; Enter takes it.
    entry("Lead");
    auto keys = [&](std::initializer_list<KeyCode> codes) {
        for (KeyCode code : codes)
            root.keyDown({code, "", 0});
    };
    type(root, " 2x");
    keys({KeyCode::Backspace, KeyCode::Home});
    type(root, "My ");
    // The caret is drawn where it is: further right at the end.
    TextField& field = *findShown<TextField>(root);
    auto caretX = [&] {
        const Bitmap& shown = ui.render();
        for (int x = 0; x < field.width(); ++x)
            if (const Point p = field.toRoot({x, field.height() / 2}); greenOf(shown.pixelAt(p.x, p.y)) > 200)
                return x;
        return -1;
    };
    const int afterMy = caretX();
    keys({KeyCode::End});
    EXPECT_GT(caretX(), afterMy + 10);
    EXPECT_GT(afterMy, 3);
    root.keyDown({KeyCode::Character, "\xC3\xA9", 0});
    root.keyDown({KeyCode::Character, "\xC3\xBC", 0});
    keys({KeyCode::Left, KeyCode::Delete, KeyCode::Left, KeyCode::Backspace, KeyCode::Right});
    clickAt(root, field.toRoot({2, field.height() / 2}));
    type(root, "!");
    keys({KeyCode::Enter});
    // Escape cancels; so does the Cancel button; OK takes the text as is.
    entry("x");
    root.keyDown({KeyCode::Escape, "", 0});
    entry("y");
    click(root, *findButton(root, "Cancel"));
    entry("Bass");
    click(root, *findButton(root, "OK"));
    EXPECT_EQ(texts, (std::vector<std::optional<std::string>>{"!My Lead \xC3\xA9", std::nullopt, std::nullopt, "Bass"}));
    EXPECT_EQ(ui.componentCount(), baseline);

    // While a dialog is open the controls beneath get no clicks.
    int clicks = 0;
    Button& below = root.add<Button>(Rect{0, 0, 400, 300}, "Below");
    below.clicked.addHandler([&](NotifyEvent&) { ++clicks; });
    std::vector<bool> answers;
    confirmBox(root, "Replace the preset?", [&](bool ok) { answers.push_back(ok); });
    clickAt(root, {3, 3});
    click(root, *findButton(root, "OK"));
    messageBox(root, "No free slots are available. Clear one or more slots and try again.",
               [&] { answers.push_back(true); });
    root.keyDown({KeyCode::Enter, "", 0});
    EXPECT_EQ(answers, (std::vector<bool>{true, true}));
    EXPECT_EQ(clicks, 0);
    clickAt(root, {3, 3});
    EXPECT_EQ(clicks, 1);
}

TEST(Dialogs, FolderChooserBrowsesAndChooses)
{
    imagetools::ScratchFolder dir;
    const std::string top = dir / "";
    for (const char* sub : {"b", "a", "c/d", ".hidden"})
        std::filesystem::create_directories(dir / sub);
    imagetools::writeFile(dir / "file.txt", {1});

    HeadlessInterface ui(400, 320);
    RootControl& root = ui.root();
    std::vector<std::optional<std::string>> chosen;
    auto choose = [&](const std::string& start) {
        folderChooser(root, "Choose the preset folder", start, [&](std::optional<std::string> f) { chosen.push_back(f); });
        // The list is the tall control in the dialog's panel; its rows are
        // a 9-point line high plus 4.
        for (Control* c : root.children().back()->children().front()->children())
            if (!dynamic_cast<Button*>(c) && c->height() > 100)
                return c;
        return static_cast<Control*>(nullptr);
    };
    const int rowHeight = lineHeight(*ui.createText(Font{"", 9})) + 4;
    auto row = [&](Control* list, int index) { return list->toRoot({20, 2 + index * rowHeight + rowHeight / 2}); };

    // "..", a, b, c: folders only, sorted, no hidden ones. Opening c shows
    // "..", d; choosing with d selected gives c/d/.
    Control* list = choose(top);
    ASSERT_NE(list, nullptr);
    clickAt(root, row(list, 3), Modifier::DoubleClick);
    clickAt(root, row(list, 1));
    // The selected row is the one lit.
    auto rowColour = [&](int index) {
        const Point p = list->toRoot({list->width() - 8, 2 + index * rowHeight + rowHeight / 2});
        return ui.render().pixelAt(p.x, p.y);
    };
    EXPECT_NE(rowColour(1), rowColour(0));
    EXPECT_EQ(rowColour(0), rowColour(2));
    click(root, *findButton(root, "Choose"));
    // ".." goes up from c to the top; nothing selected chooses the folder
    // shown; Cancel gives nothing.
    list = choose(top + "c/");
    clickAt(root, row(list, 0), Modifier::DoubleClick);
    click(root, *findButton(root, "Choose"));
    choose(top);
    click(root, *findButton(root, "Cancel"));
    EXPECT_EQ(chosen, (std::vector<std::optional<std::string>>{top + "c/d/", top, std::nullopt}));
}

namespace {

struct DragLog : DragManager::Listener {
    std::vector<std::string> events;
    static std::string name(Control* c) { return c ? c->hint.get() : "-"; }
    void dragEntered(DragObject&, Control& t) override { events.push_back("enter " + name(&t)); }
    void dragLeft(DragObject&, Control& t) override { events.push_back("leave " + name(&t)); }
    void dragDropped(DragObject& o, Control* t, Point) override
    {
        events.push_back("drop " + name(t) + " from " + name(o.source()));
    }
    void dragCancelled(DragObject&) override { events.push_back("cancel"); }
};

} // namespace

TEST(DragStage, ReportsEnteringLeavingDropAndCancel)
{
    HeadlessInterface ui(300, 100);
    RootControl& root = ui.root();
    auto named = [&](Rect frame, const char* name) -> Control& {
        Control& c = root.add<Control>(frame);
        c.hint = name;
        return c;
    };
    Control& source = named({0, 0, 50, 50}, "source");
    named({100, 0, 150, 50}, "a");
    Control& b = named({200, 0, 250, 50}, "b");
    DragStage& stage = root.add<DragStage>();
    // Controls added after the stage still go below it.
    named({0, 60, 300, 100}, "late");
    EXPECT_EQ(root.children().back(), &stage);

    DragLog log;
    stage.addListener(log);
    source.mouseDownEvent.addHandler([&](NotifyEvent&) {
        stage.beginDrag(std::make_unique<DragObject>(source), source.toRoot({10, 10}));
    });
    root.mouseDownAt(MouseButton::Left, {10, 10}, Modifier::LeftButton);
    EXPECT_TRUE(stage.dragging() && stage.isShown());
    for (Point p : {Point{120, 10}, Point{130, 20}, Point{220, 10}, Point{220, 80}})
        root.mouseMoveAt(p, Modifier::LeftButton);
    root.mouseUpAt(MouseButton::Left, {220, 30}, 0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"enter source", "leave source", "enter a", "leave a", "enter b",
                                                    "leave b", "enter late", "leave late", "enter b",
                                                    "drop b from source"}));
    EXPECT_FALSE(stage.dragging() || stage.isShown());
    EXPECT_EQ(ui.capturedControl(), nullptr);
    EXPECT_EQ(ui.controlUnderMouse(), &b);

    // Escape cancels; a release over nothing drops on nothing.
    log.events.clear();
    root.mouseDownAt(MouseButton::Left, {10, 10}, Modifier::LeftButton);
    root.keyDown({KeyCode::Escape, "", 0});
    root.mouseUpAt(MouseButton::Left, {120, 10}, 0);
    root.mouseDownAt(MouseButton::Left, {10, 10}, Modifier::LeftButton);
    root.mouseUpAt(MouseButton::Left, {280, 30}, 0);
    EXPECT_EQ(log.events, (std::vector<std::string>{"enter source", "cancel", "enter source", "leave source",
                                                    "drop - from source"}));
}

// Knobs and the value model, with a clock the test moves.
namespace {

// A knob at (100, 100) in a large window, with an image so that it drags.
struct KnobRig {
    HeadlessInterface ui{400, 400};
    Bitmap image{40, 40};
    Knob& knob;
    int begins = 0, ends = 0, changes = 0, alternates = 0;

    KnobRig() : knob(ui.root().add<Knob>(Rect::ofSize(100, 100, 40, 40), styleWithImage()))
    {
        knob.beginEdit.addHandler([this](NotifyEvent&) { ++begins; });
        knob.endEdit.addHandler([this](NotifyEvent&) { ++ends; });
        knob.valueChanged.addHandler([this](NotifyEvent&) { ++changes; });
        knob.alternateAction.addHandler([this](NotifyEvent&) { ++alternates; });
    }

    Knob::Style styleWithImage()
    {
        Knob::Style s;
        s.image = &image;
        return s;
    }

    // Presses on the body, moves `pixels` upwards in steps of `step` pixels
    // `ms` apart, and lets go.
    void drag(int pixels, int step, int ms, int modifiers = 0)
    {
        RootControl& root = ui.root();
        Point p{120, 120};
        root.mouseDownAt(MouseButton::Left, p, Modifier::LeftButton | modifiers);
        for (int moved = 0; moved < pixels; moved += step) {
            ui.advance(static_cast<std::uint64_t>(ms));
            p.y -= std::min(step, pixels - moved);
            root.mouseMoveAt(p, Modifier::LeftButton | modifiers);
        }
        root.mouseUpAt(MouseButton::Left, p, modifiers);
    }

    // The point on the ring at `degrees` (0 at the top, clockwise), in window
    // coordinates.
    Point ringPoint(double degrees)
    {
        const double a = degrees * std::numbers::pi / 180.0;
        const double r = 16.5;
        return {100 + static_cast<int>(std::lround(20 + r * std::sin(a))),
                100 + static_cast<int>(std::lround(20 - r * std::cos(a)))};
    }
};

} // namespace

TEST(Knob, DragsCoverTheRangeIn200PixelsFinerSlowerOrInStepsOfSmallRanges)
{
    // Full rate: 10 pixels every 20 ms is faster than 0.1 pixel per ms.
    // Shift (fine in the default table) gives a tenth. Slow, one pixel every
    // 100 ms (0.01 pixel per ms), each pixel moves 4096 / 200 x (0.1 + 0.9 x
    // 10 x 0.01) steps, unless speed sensitivity is off. A small range steps
    // every 20 pixels and holds at its end.
    const struct {
        int pixels, step, ms, keys;
        bool speedSensitive;
        int maximum, expected;
    } drags[] = {{200, 10, 20, 0, true, 4096, 4096},
                 {200, 10, 20, Modifier::Shift, true, 4096, 409},
                 {50, 1, 100, 0, true, 4096, static_cast<int>(50 * 4096 / 200.0 * 0.19)},
                 {50, 1, 100, 0, false, 4096, 1024},
                 {59, 1, 1, 0, true, 5, 2},
                 {300, 10, 1, 0, true, 5, 5}};
    for (const auto& d : drags) {
        KnobRig rig;
        rig.knob.speedSensitive = d.speedSensitive;
        rig.knob.maximum = d.maximum;
        rig.drag(d.pixels, d.step, d.ms, d.keys);
        EXPECT_EQ(rig.knob.value, d.expected) << d.pixels << " pixels, " << d.ms << " ms";
        EXPECT_EQ(std::make_pair(rig.begins, rig.ends), std::make_pair(1, 1));
        EXPECT_EQ(rig.knob.dragMode(), Knob::DragMode::Idle);
    }
}

TEST(Knob, WheelAddsRangeTimesAmountButNotDuringADrag)
{
    KnobRig rig;
    RootControl& root = rig.ui.root();
    root.wheelAt({120, 120}, 0, 120); // first notch: slow, 0.002 x 4096 = 8.192
    EXPECT_EQ(rig.knob.value, 8);
    rig.ui.advance(10);
    root.wheelAt({120, 120}, 0, 120); // quick: 0.1 x 4096 + 0.192
    EXPECT_EQ(rig.knob.value, 8 + 409);
    rig.ui.advance(10);
    root.wheelAt({120, 120}, Modifier::Shift, -120); // fine: -40.96 + 0.792
    EXPECT_EQ(rig.knob.value, 8 + 409 - 40);
    EXPECT_EQ(rig.begins, 3);

    const int before = rig.knob.value;
    root.mouseDownAt(MouseButton::Left, {120, 120}, Modifier::LeftButton);
    root.wheelAt({120, 120}, 0, 120);
    EXPECT_EQ(rig.knob.value, before);
    root.mouseUpAt(MouseButton::Left, {120, 120}, 0);

    // A notch beside the knob reaches no knob. Per notch: 10 ms or less
    // after the last is the quickest, 500 ms or more the slowest (above);
    // a part of a notch counts nothing and a burst stops at a whole range.
    root.wheelAt({5, 5}, 0, 120);
    EXPECT_EQ(rig.knob.value, before);
    EXPECT_FLOAT_EQ(RootControl::wheelAmount(120, 100), 0.01f);
    EXPECT_FLOAT_EQ(RootControl::wheelAmount(119, 10), 0.0f);
    EXPECT_FLOAT_EQ(RootControl::wheelAmount(120 * 30, 10), 1.0f);

    // A small range collects the fractions of slow notches.
    rig.knob.maximum = 5;
    rig.knob.value = 0;
    for (int i = 0; i < 3; ++i) {
        rig.ui.advance(20); // 0.05 x 5 = 0.25 per notch
        root.wheelAt({120, 120}, 0, 120);
    }
    EXPECT_EQ(rig.knob.value, 0);
    rig.ui.advance(20);
    root.wheelAt({120, 120}, 0, 120);
    EXPECT_EQ(rig.knob.value, 1);
}

TEST(Knob, ResetFineAndAlternateInBothModifierTables)
{
    struct Table {
        bool host;
        int reset, fine, alternate, otherReset;
    };
    for (const Table t : {Table{false, Modifier::Control, Modifier::Shift, Modifier::Alt, Modifier::Alt},
                          Table{true, Modifier::Alt, Modifier::Control, Modifier::Shift, Modifier::Control}}) {
        ModifierActions::useHostShortcuts(t.host);
        KnobRig rig;
        rig.knob.defaultValue = 2048;
        // The reset click sets the default and starts no drag, bracketed by
        // an edit; the other table's reset key is no reset here.
        rig.knob.value = 100;
        rig.drag(100, 10, 20, t.reset);
        EXPECT_EQ(std::make_tuple(rig.knob.value.get(), rig.begins, rig.ends), std::make_tuple(2048, 1, 1)) << t.host;
        rig.knob.value = 100;
        rig.drag(0, 10, 20, t.otherReset);
        EXPECT_EQ(rig.knob.value, 100) << t.host;
        // The alternate key raises the alternate action once per press; fine
        // and alternate together do both.
        rig.alternates = 0;
        rig.drag(20, 10, 20, t.alternate);
        EXPECT_EQ(rig.alternates, 1) << t.host;
        EXPECT_FALSE(rig.knob.alternateActive());
        rig.knob.value = 0;
        rig.drag(200, 10, 20, t.fine | t.alternate);
        EXPECT_EQ(std::make_pair(rig.knob.value.get(), rig.alternates), std::make_pair(409, 2)) << t.host;
    }
    // Ctrl+Alt is in neither table: a plain drag.
    EXPECT_EQ(ModifierActions::lookup(Modifier::Control | Modifier::Alt | Modifier::LeftButton), 0);
    ModifierActions::useHostShortcuts(false);
}

TEST(Knob, TheRingTurnsLikeADial)
{
    KnobRig rig;
    Knob& k = rig.knob;
    k.maximum = 300; // one step per degree of the 300-degree arc from 210
    RootControl& root = rig.ui.root();

    // Hovering the ring is noticed; the body is not the ring.
    root.mouseMoveAt({120, 120}, 0);
    EXPECT_EQ(k.hoverZone(), Knob::Zone::Body);
    root.mouseMoveAt(rig.ringPoint(215), 0);
    EXPECT_EQ(k.hoverZone(), Knob::Zone::Ring);
    root.mouseMoveAt(rig.ringPoint(180), 0); // the gap at the bottom
    EXPECT_EQ(k.hoverZone(), Knob::Zone::Body);

    // Pressed on the ring 5 degrees past the value's angle, the value turns
    // as the mouse turns, across the top, and stops at the arc's ends.
    root.mouseDownAt(MouseButton::Left, rig.ringPoint(215), Modifier::LeftButton);
    EXPECT_EQ(k.dragMode(), Knob::DragMode::Rotary);
    const std::pair<double, int> path[] = {{270, 55}, {330, 115}, {30, 175}, {90, 235}, {150, 295}, {170, 300},
                                           {90, 235}, {0, 145},   {240, 25}, {200, 0}};
    for (const auto& [degrees, expected] : path) {
        root.mouseMoveAt(rig.ringPoint(degrees), Modifier::LeftButton);
        EXPECT_NEAR(k.value, expected, 3) << degrees;
    }
    root.mouseUpAt(MouseButton::Left, rig.ringPoint(200), 0);

    // A knob without an image does not drag; a click points it.
    Knob& dial = rig.ui.root().add<Knob>(Rect::ofSize(200, 100, 40, 40));
    dial.maximum = 300;
    root.mouseDownAt(MouseButton::Left, {220, 108}, Modifier::LeftButton);
    root.mouseMoveAt({220, 50}, Modifier::LeftButton);
    EXPECT_EQ(dial.value, 0);
    root.mouseUpAt(MouseButton::Left, {220, 108}, 0); // straight up: 150 degrees into the arc
    EXPECT_EQ(dial.value, 150);
}

// The canvas's anti-aliasing against geometry: the coverage a fill or a
// stroke leaves in the pixels adds up to the area of the shape, at scale 1
// and 2, and nothing lands outside the clip.
namespace {

// White drawn on black: the red channel is the coverage.
double inkedArea(const Bitmap& b, int scale)
{
    double sum = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            sum += redOf(b.pixelAt(x, y)) / 255.0;
    return sum / (scale * scale);
}

} // namespace

TEST(Canvas, FillsAndStrokesCoverTheirArea)
{
    for (int scale : {1, 2}) {
        auto fresh = [&] {
            auto b = std::make_unique<Bitmap>(100 * scale, 80 * scale);
            Canvas(*b, scale).fillRect({0, 0, 100, 80}, rgba(0, 0, 0));
            return b;
        };
        const Pixel white = rgba(255, 255, 255);

        auto circle = fresh();
        Canvas(*circle, scale).fillCircle({50.3f, 40.6f}, 20.0f, white);
        EXPECT_NEAR(inkedArea(*circle, scale), std::numbers::pi * 400, 400 * 0.01) << scale;

        // A triangle at fractional corners; drawn twice over itself with
        // the other winding it stays the same (non-zero rule).
        auto triangle = fresh();
        const PointF tri[] = {{10.25f, 10.5f}, {90.75f, 20.0f}, {30.5f, 70.25f}};
        const double area = std::fabs((90.75 - 10.25) * (70.25 - 10.5) - (30.5 - 10.25) * (20.0 - 10.5)) / 2;
        Canvas(*triangle, scale).fillPolygon(tri, white);
        EXPECT_NEAR(inkedArea(*triangle, scale), area, area * 0.005) << scale;

        // A diagonal stroke: length x width, plus its round caps.
        auto line = fresh();
        Canvas(*line, scale).drawLine({10, 10}, {70, 55}, 3.0f, white);
        EXPECT_NEAR(inkedArea(*line, scale), 75.0 * 3.0 + std::numbers::pi * 1.5 * 1.5, 6.0) << scale;

        // Clipped: nothing outside, and the part inside as if unclipped.
        auto clipped = fresh();
        {
            Canvas canvas(*clipped, scale);
            canvas.clipTo({0, 0, 50, 80});
            canvas.fillCircle({50.3f, 40.6f}, 20.0f, white);
        }
        for (int y = 0; y < clipped->height(); ++y)
            for (int x = 50 * scale; x < clipped->width(); ++x)
                ASSERT_EQ(redOf(clipped->pixelAt(x, y)), 0u) << x << "," << y;
        for (int y = 0; y < clipped->height(); ++y)
            for (int x = 0; x < 50 * scale; ++x)
                ASSERT_EQ(clipped->pixelAt(x, y), circle->pixelAt(x, y)) << x << "," << y;
    }
}

TEST(Canvas, BitmapsBlendByTheirAlphaAndTheCanvasAlpha)
{
    Bitmap target(4, 1), image(4, 1);
    Canvas canvas(target);
    canvas.fillRect({0, 0, 4, 1}, rgba(0, 0, 200));
    const std::uint32_t row[] = {0xff0000ffu, 0x800000ffu, 0x000000ffu, 0x4000ff00u}; // RGBA, R lowest
    image.setRow(0, row);
    image.transparent = true;
    {
        Canvas::Scope scope(canvas);
        canvas.multiplyAlpha(255);
        canvas.drawBitmap(image, 0, 0);
    }
    EXPECT_EQ(target.pixelAt(0, 0), rgba(255, 0, 0));
    // Half red over blue, nothing, a quarter green over blue.
    EXPECT_EQ(target.pixelAt(1, 0), rgba(128, 0, 100));
    EXPECT_EQ(target.pixelAt(2, 0), rgba(0, 0, 200));
    EXPECT_EQ(target.pixelAt(3, 0), rgba(0, 64, 150));

    // With the canvas at half alpha an opaque pixel lands at half.
    canvas.fillRect({0, 0, 4, 1}, rgba(0, 0, 200));
    canvas.multiplyAlpha(128);
    canvas.drawBitmap(image, 0, 0);
    EXPECT_EQ(target.pixelAt(0, 0), rgba(128, 0, 100));
}
