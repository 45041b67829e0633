#include "editor/SwitchControls.h"

#include "editor/Drawing.h"
#include "editor/EditorStyle.h"
#include "framework/AbstractPluginParameter.h"
#include "gui/Canvas.h"
#include "gui/Menu.h"
#include "gui/RootControl.h"
#include "gui/UserInterface.h"

#include <cmath>

using namespace EditorStyle;

PositionControl::PositionControl(gui::Control& parent, const gui::Rect& frame)
    : gui::ValueControl(parent, frame), label(userInterface().createText(labelFont()))
{
    maximum = 1;
}

void PositionControl::mouseEntered()
{
    hovered = true;
    invalidate();
    gui::ValueControl::mouseEntered();
}

void PositionControl::mouseLeft()
{
    hovered = false;
    invalidate();
    gui::ValueControl::mouseLeft();
}

void PositionControl::mouseWheel(gui::Point, int, float amount)
{
    if (isEditing() || amount == 0.0f)
        return;
    // One position per notch, whatever the speed: a switch has few.
    beginGesture();
    value = value + (amount > 0 ? 1 : -1);
    endGesture();
}

// --- ToggleSwitch ---

ToggleSwitch::ToggleSwitch(gui::Control& parent, const gui::Rect& frame, const std::string& initial)
    : PositionControl(parent, frame)
{
    caption = initial;
    text().setFont(captionFont());
}

void ToggleSwitch::paint(gui::Canvas& canvas)
{
    const gui::Rect r{0, 0, width(), height()};
    const bool lit = on();
    gui::Pixel faceColour = isEditing() ? facePressed : isHovered() ? faceHover : face;
    if (lit)
        faceColour = gui::blendOver(faceColour, gui::withAlpha(accent, 40));
    Drawing::plate(canvas, r, 3.5f, faceColour, lit ? edgeOn : edge);
    // A small lamp at the left says on or off before the caption is read.
    const float cy = static_cast<float>(height()) * 0.5f;
    canvas.fillCircle({7.0f, cy}, 2.3f, lit ? accent : well);
    canvas.drawText(text(), caption.get(), gui::Rect{11, 0, width() - 2, height()}, lit ? EditorStyle::text : dimText,
                    gui::Align::Center);
}

void ToggleSwitch::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    if (button == gui::MouseButton::Left && hitTest(local))
        value = on() ? minimum.get() : maximum.get();
    PositionControl::mouseUp(button, local, modifiers);
}

// --- SegmentedSwitch ---

SegmentedSwitch::SegmentedSwitch(gui::Control& parent, const gui::Rect& frame, std::vector<std::string> texts)
    : PositionControl(parent, frame), captions(std::move(texts))
{
    maximum = static_cast<int>(captions.size()) - 1;
}

int SegmentedSwitch::segmentAt(gui::Point local) const
{
    const int n = static_cast<int>(captions.size());
    if (n == 0 || local.x < 0 || local.x >= width() || local.y < 0 || local.y >= height())
        return -1;
    return std::min(n - 1, vertical ? local.y * n / height() : local.x * n / width());
}

void SegmentedSwitch::paint(gui::Canvas& canvas)
{
    const gui::Rect r{0, 0, width(), height()};
    Drawing::plate(canvas, r, 3.5f, well, edge);
    const int n = static_cast<int>(captions.size());
    const int current = value - minimum;
    for (int i = 0; i < n; ++i) {
        const gui::Rect segment = vertical ? gui::Rect{0, i * height() / n, width(), (i + 1) * height() / n}
                                           : gui::Rect{i * width() / n, 0, (i + 1) * width() / n, height()};
        if (i == current) {
            Drawing::plate(canvas, segment.inset(1), 2.5f, gui::blendOver(face, gui::withAlpha(accent, 46)), edgeOn);
        } else if (i > 0 && i != current + 1) {
            // A divider between two unlit segments.
            if (vertical)
                canvas.fillRect({4, segment.top, width() - 4, segment.top + 1}, edge);
            else
                canvas.fillRect({segment.left, 4, segment.left + 1, height() - 4}, edge);
        }
        canvas.drawText(text(), captions[static_cast<std::size_t>(i)], segment,
                        i == current ? accent : isHovered() ? EditorStyle::text : dimText, gui::Align::Center);
    }
}

void SegmentedSwitch::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    const int segment = segmentAt(local);
    if (button == gui::MouseButton::Left && segment >= 0 && hitTest(local))
        value = minimum + segment;
    PositionControl::mouseUp(button, local, modifiers);
}

// --- SelectButton ---

SelectButton::SelectButton(gui::Control& parent, const gui::Rect& frame) : PositionControl(parent, frame) {}

void SelectButton::parameterBound(const AbstractPluginParameter& parameter)
{
    options.clear();
    const int first = static_cast<int>(std::lround(parameter.getMin()));
    const int last = static_cast<int>(std::lround(parameter.getMax()));
    for (int position = first; position <= last; ++position)
        options.push_back(parameter.valueToText(static_cast<float>(position)));
}

void SelectButton::valueTextChanged(const std::string& valueText)
{
    if (valueText == shown)
        return;
    shown = valueText;
    invalidate();
}

void SelectButton::paint(gui::Canvas& canvas)
{
    const gui::Rect r{0, 0, width(), height()};
    Drawing::plate(canvas, r, 3.5f, isEditing() ? facePressed : isHovered() ? faceHover : face, edge);
    canvas.drawText(text(), shown, gui::Rect{6, 0, width() - 14, height()}, EditorStyle::text, gui::Align::Left);
    // The menu's mark: a small chevron at the right.
    const float x = static_cast<float>(width()) - 8.0f, y = static_cast<float>(height()) * 0.5f;
    const gui::PointF chevron[] = {{x - 2.5f, y - 1.2f}, {x, y + 1.3f}, {x + 2.5f, y - 1.2f}};
    canvas.strokePolyline(chevron, 1.3f, dimText);
}

void SelectButton::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    const bool open = button == gui::MouseButton::Left && hitTest(local) && !options.empty();
    PositionControl::mouseUp(button, local, modifiers);
    if (!open)
        return;
    gui::Menu menu;
    for (std::size_t i = 0; i < options.size(); ++i) {
        const int position = minimum + static_cast<int>(i);
        menu.add(options[i], position + 1, position == value);
    }
    gui::RootControl* top = root();
    if (!top)
        return;
    const gui::Point below = toRoot({0, height()});
    gui::popupMenu(*top, menu, below, [this](int chosen) {
        if (chosen <= 0)
            return;
        beginGesture();
        value = chosen - 1;
        endGesture();
    });
}
