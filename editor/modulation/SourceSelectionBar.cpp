#include "editor/modulation/SourceSelectionBar.h"

#include "editor/Drawing.h"
#include "editor/EditorStyle.h"
#include "editor/modulation/ModulationInterface.h"
#include "editor/modulation/ModulationScrollStrip.h"
#include "editor/modulation/ModulationStyle.h"
#include "editor/modulation/SourceInterface.h"
#include "effect/OstrandPlugin.h"
#include "gui/Canvas.h"
#include "gui/Label.h"
#include "gui/UserInterface.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace EditorStyle;

SourceSelectionBar::SourceSelectionBar(gui::Control& parent, const gui::Rect& frame, ModulationInterface& area)
    : gui::Control(parent, frame), owner(area), labels(userInterface().createText(captionFont()))
{
    for (int source = 0; source < SourceController::sourceCount; ++source) {
        buttons.push_back(&add<SourceButton>(*this, source));
        buttons.back()->visible = false;
    }
    frameMark = &add<SourceSelector>(*this);
    hint = "The source bar has a button for every modulation source: click one to show its panel. The bar at the "
           "top of each button shows the source's level. Drag the white frame to scroll through the panels.";
}

SourceSelectionBar::~SourceSelectionBar() = default;

SourceSelectionBar::SourceButton* SourceSelectionBar::buttonFor(int source) const
{
    return source >= 0 && source < static_cast<int>(buttons.size()) ? buttons[static_cast<std::size_t>(source)]
                                                                     : nullptr;
}

SourceSelectionBar::SourceButton* SourceSelectionBar::buttonAt(gui::Point local) const
{
    for (SourceButton* b : buttons)
        if (b->visible.get() && b->frame().contains(local))
            return b;
    return nullptr;
}

void SourceSelectionBar::arrange()
{
    const ModulationScrollStrip& strip = owner.strip();
    const int content = strip.contentWidth();
    factor = content > 0 ? std::min(largestScale, static_cast<double>(width()) / content) : largestScale;
    auto at = [this](int x) { return static_cast<int>(std::lround(x * factor)); };
    used = 0;
    for (SourceButton* b : buttons) {
        const SourceInterface& panel = owner.panelOf(b->source());
        const bool shown = panel.visible.get();
        b->visible = shown;
        if (!shown)
            continue;
        const int left = at(panel.position().x), right = at(panel.position().x + panel.width());
        b->setFrame({left, 0, std::max(left + 3, right), height()});
        used = std::max(used, b->frame().right);
    }
    followStrip();
    invalidate();
}

void SourceSelectionBar::followStrip()
{
    const ModulationScrollStrip& strip = owner.strip();
    const int left = static_cast<int>(std::lround(strip.scroll() * factor));
    const int right = std::min(used, static_cast<int>(std::lround((strip.scroll() + strip.width()) * factor)));
    frameMark->visible = used > 0;
    frameMark->setFrame({left, 0, std::max(left + 4, right), height()});
}

void SourceSelectionBar::updateLevels()
{
    OstrandPlugin& plugin = owner.plugin();
    for (SourceButton* b : buttons)
        if (b->visible.get())
            b->setLevel(plugin.getSourceLevel(b->source()));
}

// --- SourceButton ---

SourceSelectionBar::SourceButton::SourceButton(gui::Control& parent, SourceSelectionBar& holder, int source)
    : gui::Control(parent, gui::Rect{0, 0, 1, 1}), bar(holder), number(source)
{
}

void SourceSelectionBar::SourceButton::setLevel(float level)
{
    level = std::isfinite(level) ? std::clamp(level, 0.0f, 1.0f) : 0.0f;
    // Redraw only when the bar moves by a pixel or more.
    if (std::lround(level * width()) == std::lround(shownLevel * width()))
        return;
    shownLevel = level;
    invalidate({0, 0, width(), 3});
}

void SourceSelectionBar::SourceButton::paint(gui::Canvas& canvas)
{
    const int kind = SourceController::kindOf(number);
    const gui::Pixel colour = ModulationStyle::sourceColours[static_cast<std::size_t>(kind)];
    const gui::Rect r{0, 0, width() - 1, height()};
    canvas.fillRect(r, gui::blendOver(face, gui::withAlpha(colour, hovered ? 70 : 40)));
    canvas.fillRect({0, 0, r.right, 3}, well);
    const int level = static_cast<int>(std::lround(shownLevel * r.right));
    if (level > 0)
        canvas.fillRect({0, 0, level, 3}, colour);
    const std::string full = bar.area().sources().name(number);
    const std::string shortName = SourceController::shortName(number);
    const bool roomy = gui::textWidth(bar.font(), kind == SourceController::midi ? "MIDI 10" : full) + 4 <= r.width();
    // MIDI sources read "MIDI 3" where there is room for it.
    const std::string text = !roomy ? shortName
                             : kind == SourceController::midi
                                 ? "MIDI " + std::to_string(SourceController::placeOf(number) + 1)
                                 : full;
    canvas.drawText(bar.font(), text, gui::Rect{0, 3, r.right, height()}, hovered ? EditorStyle::text : colour,
                    gui::Align::Center);
}

void SourceSelectionBar::SourceButton::click() { bar.area().showSource(number); }

void SourceSelectionBar::SourceButton::mouseEntered()
{
    hovered = true;
    invalidate();
    gui::Control::mouseEntered();
}

void SourceSelectionBar::SourceButton::mouseLeft()
{
    hovered = false;
    invalidate();
    gui::Control::mouseLeft();
}

// --- SourceSelector ---

SourceSelectionBar::SourceSelector::SourceSelector(gui::Control& parent, SourceSelectionBar& holder)
    : gui::Control(parent, gui::Rect{0, 0, 1, 1}), bar(holder)
{
}

void SourceSelectionBar::SourceSelector::paint(gui::Canvas& canvas)
{
    canvas.frameRect({0, 0, width(), height()}, gui::rgba(236, 238, 242, moving ? 255 : 200));
}

void SourceSelectionBar::SourceSelector::mouseDown(gui::MouseButton button, gui::Point local, int modifiers)
{
    gui::Control::mouseDown(button, local, modifiers);
    if (button != gui::MouseButton::Left)
        return;
    pressed = true;
    moving = false;
    downPoint = local + position();
    lastX = downPoint.x;
    remainder = 0;
}

void SourceSelectionBar::SourceSelector::mouseMove(gui::Point local, int modifiers)
{
    gui::Control::mouseMove(local, modifiers);
    if (!pressed)
        return;
    // In the bar's coordinates: the selector itself moves as the strip
    // scrolls.
    const gui::Point p = local + position();
    if (!moving) {
        if (std::abs(p.x - downPoint.x) < dragThreshold && std::abs(p.y - downPoint.y) < dragThreshold)
            return;
        moving = true;
        invalidate();
    }
    ModulationScrollStrip& strip = bar.area().strip();
    const int barWidth = std::max(1, bar.usedWidth());
    // The strip moves by the bar's movement times strip width / bar
    // width; what the division leaves is carried to the next move.
    const int moved = (p.x - lastX) * strip.contentWidth() + remainder;
    lastX = p.x;
    const int step = moved / barWidth;
    remainder = moved % barWidth;
    if (step != 0)
        strip.scrollTo(strip.scroll() + step, false);
}

void SourceSelectionBar::SourceSelector::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    const bool wasClick = pressed && !moving && button == gui::MouseButton::Left;
    pressed = false;
    if (moving) {
        moving = false;
        invalidate();
    }
    // The selector is no button: a release without a drag clicks the source
    // button under it.
    gui::Control::mouseUp(button, local, modifiers);
    if (wasClick)
        if (SourceButton* under = bar.buttonAt(local + position()))
            under->click();
}
