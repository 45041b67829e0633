#include "gui/Menu.h"

#include "gui/Canvas.h"
#include "gui/Label.h"
#include "gui/Overlay.h"
#include "gui/RootControl.h"
#include "gui/UserInterface.h"

#include <algorithm>

namespace gui {

namespace {

constexpr Pixel panelColour = rgba(52, 55, 62);
constexpr Pixel frameColour = rgba(110, 116, 128);
constexpr Pixel highlightColour = rgba(232, 160, 48);
constexpr Pixel textColour = rgba(232, 234, 238);
constexpr Pixel disabledColour = rgba(128, 132, 140);
constexpr int separatorHeight = 7;

class MenuOverlay;

// One open level of the menu: its items in a column.
class MenuPanel : public Control {
public:
    MenuPanel(Control& parent, const Menu& items, Point at, Text& text, int level)
        : Control(parent, Rect{}), menu(items), font(text), depth(level)
    {
        itemHeight = lineHeight(font) + 6;
        int w = 80, h = 4;
        for (const Menu::Item& item : menu.items) {
            w = std::max(w, textWidth(font, item.text) + 48);
            h += item.separator ? separatorHeight : itemHeight;
        }
        const Control& window = parent;
        const int x = std::clamp(at.x, 0, std::max(0, window.width() - w));
        const int y = std::clamp(at.y, 0, std::max(0, window.height() - h));
        setFrame(Rect::ofSize(x, y, w, h));
    }

    // The item at a point (own coordinates), or -1.
    int itemAt(Point p) const
    {
        if (!Rect{0, 0, width(), height()}.contains(p))
            return -1;
        int y = 2;
        for (std::size_t i = 0; i < menu.items.size(); ++i) {
            const int h = menu.items[i].separator ? separatorHeight : itemHeight;
            if (p.y >= y && p.y < y + h)
                return menu.items[i].separator ? -1 : static_cast<int>(i);
            y += h;
        }
        return -1;
    }

    int itemTop(int index) const
    {
        int y = 2;
        for (int i = 0; i < index; ++i)
            y += menu.items[i].separator ? separatorHeight : itemHeight;
        return y;
    }

    // The overlay handles the mouse for all levels.
    int opacityAt(Point) const override { return 0; }

    void setHighlight(int index)
    {
        if (index != highlighted) {
            highlighted = index;
            invalidate();
        }
    }

    void paint(Canvas& canvas) override
    {
        const Rect r{0, 0, width(), height()};
        canvas.fillRect(r, panelColour);
        canvas.frameRect(r, frameColour);
        int y = 2;
        for (std::size_t i = 0; i < menu.items.size(); ++i) {
            const Menu::Item& item = menu.items[i];
            if (item.separator) {
                canvas.fillRect({6, y + 3, width() - 6, y + 4}, frameColour);
                y += separatorHeight;
                continue;
            }
            const Rect row{2, y, width() - 2, y + itemHeight};
            const bool lit = static_cast<int>(i) == highlighted && item.enabled;
            if (lit)
                canvas.fillRect(row, withAlpha(highlightColour, 90));
            const Pixel ink = item.enabled ? textColour : disabledColour;
            if (item.checked) {
                const float cy = static_cast<float>(y) + static_cast<float>(itemHeight) / 2;
                const PointF tick[] = {{8, cy}, {11, cy + 3}, {17, cy - 4}};
                canvas.strokePolyline(tick, 1.6f, ink);
            }
            canvas.drawText(font, item.text, {22, y, width() - 18, y + itemHeight}, ink);
            if (item.submenu) {
                const float cy = static_cast<float>(y) + static_cast<float>(itemHeight) / 2;
                const float x = static_cast<float>(width()) - 12;
                const PointF arrow[] = {{x, cy - 4}, {x + 4, cy}, {x, cy + 4}};
                canvas.fillPolygon(arrow, ink);
            }
            y += itemHeight;
        }
    }

    const Menu& menu;
    Text& font;
    int depth;
    int itemHeight = 18;
    int highlighted = -1;
};

// Covers the window while a menu is open, so every click lands here.
class MenuOverlay : public Overlay {
public:
    MenuOverlay(RootControl& root, const Menu& items, Point at, std::function<void(int)> done)
        : Overlay(root, Rect{0, 0, root.width(), root.height()}), menu(items), chosen(std::move(done)),
          text(userInterface().createText(Font{}))
    {
        panels.push_back(&add<MenuPanel>(menu, at, *text, 0));
        takeFocus();
    }

    void mouseMove(Point p, int modifiers) override
    {
        Overlay::mouseMove(p, modifiers);
        for (std::size_t level = panels.size(); level-- > 0;) {
            MenuPanel* panel = panels[level];
            const int index = panel->itemAt(p - panel->position());
            if (index < 0) {
                if (panel->frame().contains(p))
                    panel->setHighlight(-1);
                continue;
            }
            // The pointer is on this level: deeper levels close, a submenu
            // under it opens.
            closeBelow(level);
            panel->setHighlight(index);
            const Menu::Item& item = panel->menu.items[static_cast<std::size_t>(index)];
            if (item.submenu && item.enabled)
                panels.push_back(&add<MenuPanel>(*item.submenu,
                                                 Point{panel->frame().right - 2, panel->position().y + panel->itemTop(index)},
                                                 *text, static_cast<int>(level) + 1));
            return;
        }
    }

    void mouseUp(MouseButton button, Point p, int modifiers) override
    {
        Overlay::mouseUp(button, p, modifiers);
        if (pressedOutside) {
            finish(0);
            return;
        }
        for (std::size_t level = panels.size(); level-- > 0;) {
            MenuPanel* panel = panels[level];
            const int index = panel->itemAt(p - panel->position());
            if (index < 0)
                continue;
            const Menu::Item& item = panel->menu.items[static_cast<std::size_t>(index)];
            if (item.enabled && !item.submenu)
                finish(item.id);
            return;
        }
    }

    void mouseDown(MouseButton button, Point p, int modifiers) override
    {
        Overlay::mouseDown(button, p, modifiers);
        pressedOutside = std::none_of(panels.begin(), panels.end(),
                                      [&](MenuPanel* panel) { return panel->frame().contains(p); });
    }

    bool keyPressed(const KeyEvent& key) override
    {
        MenuPanel* panel = panels.back();
        const int count = static_cast<int>(panel->menu.items.size());
        auto selectable = [&](int i) {
            const Menu::Item& item = panel->menu.items[static_cast<std::size_t>(i)];
            return !item.separator && item.enabled;
        };
        if (key.code == KeyCode::Escape) {
            if (panels.size() > 1)
                closeBelow(panels.size() - 2);
            else
                finish(0);
        } else if ((key.code == KeyCode::Down || key.code == KeyCode::Up) && count > 0) {
            const int stepBy = key.code == KeyCode::Down ? 1 : count - 1;
            int i = panel->highlighted < 0 ? (key.code == KeyCode::Down ? count - 1 : 0) : panel->highlighted;
            for (int n = 0; n < count; ++n) {
                i = (i + stepBy) % count;
                if (selectable(i))
                    break;
            }
            panel->setHighlight(i);
        } else if (key.code == KeyCode::Enter && panel->highlighted >= 0) {
            const Menu::Item& item = panel->menu.items[static_cast<std::size_t>(panel->highlighted)];
            if (item.submenu)
                panels.push_back(&add<MenuPanel>(*item.submenu,
                                                 Point{panel->frame().right - 2, panel->position().y + panel->itemTop(panel->highlighted)},
                                                 *text, static_cast<int>(panels.size())));
            else if (item.enabled)
                finish(item.id);
        } else {
            return false;
        }
        return true;
    }

private:
    void closeBelow(std::size_t level)
    {
        while (panels.size() > level + 1) {
            delete panels.back();
            panels.pop_back();
        }
    }

    void finish(int id)
    {
        // Hidden at once, deleted when this event is done with.
        if (!chosen)
            return;
        auto done = std::move(chosen);
        chosen = nullptr;
        userInterface().deleteLater(*this);
        done(id);
    }

    Menu menu;
    std::function<void(int)> chosen;
    std::unique_ptr<Text> text;
    std::vector<MenuPanel*> panels;
    bool pressedOutside = false;
};

} // namespace

void popupMenu(RootControl& root, const Menu& menu, Point at, std::function<void(int)> chosen)
{
    new MenuOverlay(root, menu, at, std::move(chosen));
}

} // namespace gui
