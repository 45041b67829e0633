// Dialogs and drag and drop inside the window, driven by synthetic input:
// typing into a text entry, confirming and cancelling, browsing folders,
// and the course of a drag over controls to a drop or a cancel.
#include "gui/Button.h"
#include "gui/Dialogs.h"
#include "gui/DragStage.h"
#include "gui/HeadlessInterface.h"
#include "gui/Label.h"
#include "gui/RootControl.h"
#include "gui/TextField.h"

#include "ImageTools.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <type_traits>

using namespace gui;

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
