// Popup menus drawn inside the window, driven by synthetic input.
#include "gui/HeadlessInterface.h"
#include "gui/Menu.h"
#include "gui/RootControl.h"

#include <gtest/gtest.h>

using namespace gui;

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
