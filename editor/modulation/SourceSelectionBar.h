#pragma once

#include "gui/Control.h"

#include <memory>
#include <vector>

namespace gui {
class Text;
}
class ModulationInterface;

// The bar above the strip of source panels: one button per source in use,
// in source order, each as wide as its panel times the bar's scale, so the
// bar is a small map of the strip. Each button shows its source's output
// level along its top. The selector, a white frame, marks the part of the
// strip in view; dragging it scrolls the strip.
class SourceSelectionBar : public gui::Control {
public:
    // The widest a button gets, relative to its panel.
    static constexpr double largestScale = 0.18;

    class SourceButton;
    class SourceSelector;

    SourceSelectionBar(gui::Control& parent, const gui::Rect& frame, ModulationInterface& area);
    ~SourceSelectionBar() override;

    // Buttons for the sources shown in the strip, placed after its panels.
    void arrange();
    // The selector follows the strip's scroll position.
    void followStrip();
    // Reads the sources' levels (published by the audio thread); redraws
    // the buttons whose level moved.
    void updateLevels();

    // The scale from the strip to the bar, and the width the buttons take.
    double scale() const { return factor; }
    int usedWidth() const { return used; }
    SourceButton* buttonFor(int source) const;
    // The button under a point of the bar, or null.
    SourceButton* buttonAt(gui::Point local) const;
    SourceSelector& selector() const { return *frameMark; }
    ModulationInterface& area() const { return owner; }
    gui::Text& font() const { return *labels; }

private:
    ModulationInterface& owner;
    std::unique_ptr<gui::Text> labels;
    std::vector<SourceButton*> buttons; // one per source, hidden when not in use
    SourceSelector* frameMark = nullptr;
    double factor = largestScale;
    int used = 0;
};

// A source's button: its name (short when narrow), its colour, its level.
// A click brings its panel into view.
class SourceSelectionBar::SourceButton : public gui::Control {
public:
    SourceButton(gui::Control& parent, SourceSelectionBar& bar, int source);

    int source() const { return number; }
    float level() const { return shownLevel; }
    void setLevel(float level);

    void paint(gui::Canvas& canvas) override;
    void click() override;
    void mouseEntered() override;
    void mouseLeft() override;

private:
    SourceSelectionBar& bar;
    int number;
    float shownLevel = 0.0f;
    bool hovered = false;
};

// The frame over the part of the bar whose panels are in view. A press
// that moves 5 pixels or more (in x or y) becomes a drag that scrolls the
// strip by the movement times the strip's width over the bar's; a press
// that ends without one clicks the source button under it.
class SourceSelectionBar::SourceSelector : public gui::Control {
public:
    static constexpr int dragThreshold = 5;

    SourceSelector(gui::Control& parent, SourceSelectionBar& bar);

    void paint(gui::Canvas& canvas) override;
    void mouseDown(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseMove(gui::Point local, int modifiers) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    SourceSelectionBar& bar;
    bool pressed = false;
    bool moving = false;
    gui::Point downPoint;
    int lastX = 0;
    int remainder = 0;
};
