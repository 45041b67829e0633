#include "editor/RoutingPanel.h"

#include "editor/Drawing.h"
#include "editor/EditorStyle.h"
#include "editor/OstrandInterface.h"
#include "editor/ParameterBinding.h"
#include "editor/RoutingDiagram.h"
#include "editor/SwitchControls.h"
#include "effect/OstrandPlugin.h"
#include "gui/Canvas.h"
#include "gui/Menu.h"
#include "gui/RootControl.h"
#include "gui/UserInterface.h"

#include <cmath>

using namespace EditorStyle;

namespace {

constexpr int captionHeight = 11;

// The diagrams of the channel paths for the routing's current settings.
struct Paths {
    RoutingDiagram first;
    RoutingDiagram second;
    bool split = false;
    const char* names[2] = {"", ""};
};

Paths pathsFor(const OstrandPlugin& plugin, int option)
{
    const int filters = plugin.filters.getNumActive();
    const auto mode = static_cast<RoutingMode>(std::lround(plugin.routingMode.getValue()));
    if (mode == RoutingMode::Stereo) {
        const unsigned used = (1u << filters) - 1u;
        return {RoutingDiagram(option, used), RoutingDiagram(0, 0), false, {"", ""}};
    }
    // The split modes give each channel path half of an even number of
    // filters (at least two).
    const int count = std::max(2, filters - filters % 2);
    const int half = count / 2;
    const int index = count == 4 ? RoutingDiagram::splitIndex(option) : 0;
    const unsigned lower = (1u << half) - 1u;
    Paths paths{RoutingDiagram(index, lower), RoutingDiagram(index, lower << half), true, {"L", "R"}};
    if (mode == RoutingMode::MidSide) {
        paths.names[0] = "M";
        paths.names[1] = "S";
    }
    return paths;
}

} // namespace

RoutingPicture::RoutingPicture(gui::Control& parent, const gui::Rect& frame, OstrandPlugin& plugin)
    : gui::ValueControl(parent, frame), effect(plugin), numbers(userInterface().createText(captionFont())),
      caption(userInterface().createText(valueFont()))
{
}

int RoutingPicture::offered() const { return std::max(1, effect.getRoutingChoiceCount()); }

std::string RoutingPicture::description() const
{
    const Paths paths = pathsFor(effect, value);
    if (!paths.split)
        return paths.first.text();
    return std::string(paths.names[0]) + ": " + paths.first.text() + "   " + paths.names[1] + ": " +
           paths.second.text();
}

void RoutingPicture::paint(gui::Canvas& canvas)
{
    const gui::Rect r{0, 0, width(), height() - captionHeight};
    Drawing::plate(canvas, r, 3.5f, isEditing() ? facePressed : hovered ? faceHover : well, edge);
    const Paths paths = pathsFor(effect, value);
    auto draw = [&](const RoutingDiagram& diagram, const gui::Rect& area) {
        const RoutingDiagram::Layout layout = diagram.layout(area);
        for (const auto& line : layout.lines)
            canvas.drawLine(line.from, line.to, 1.0f, dimText);
        for (const auto& box : layout.boxes) {
            const gui::Pixel colour = filterColours[static_cast<std::size_t>(box.filter - 1) % 4];
            const bool on = effect.filters[box.filter - 1].enabled.getValue() >= 0.5f;
            const gui::Rect b = gui::Rect::ofSize(static_cast<int>(std::lround(box.centre.x - layout.boxWidth * 0.5f)),
                                                  static_cast<int>(std::lround(box.centre.y - layout.boxHeight * 0.5f)),
                                                  static_cast<int>(std::lround(layout.boxWidth)),
                                                  static_cast<int>(std::lround(layout.boxHeight)));
            Drawing::plate(canvas, b, 2.0f, gui::blendOver(well, gui::withAlpha(colour, on ? 70 : 20)),
                           gui::withAlpha(colour, on ? 230 : 90));
            canvas.drawText(*numbers, std::to_string(box.filter), b, on ? EditorStyle::text : dimText,
                            gui::Align::Center);
        }
    };
    if (!paths.split) {
        draw(paths.first, r.inset(3));
    } else {
        const int mid = r.height() / 2;
        const gui::Rect top{12, 2, r.width() - 2, mid}, bottom{12, mid, r.width() - 2, r.height() - 2};
        canvas.drawText(*numbers, paths.names[0], gui::Rect{3, top.top, 12, top.bottom}, dimText);
        canvas.drawText(*numbers, paths.names[1], gui::Rect{3, bottom.top, 12, bottom.bottom}, dimText);
        draw(paths.first, top);
        draw(paths.second, bottom);
    }
    // Which of the offered arrangements this is.
    const std::string position = std::to_string(std::min(value.get(), offered() - 1) + 1) + "/" +
                                 std::to_string(offered());
    canvas.drawText(*caption, position, gui::Rect{0, height() - captionHeight, width(), height()},
                    hovered ? EditorStyle::text : dimText, gui::Align::Center);
}

void RoutingPicture::choose(int option)
{
    beginGesture();
    value = option;
    endGesture();
}

void RoutingPicture::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    const bool open = button == gui::MouseButton::Left && hitTest(local);
    gui::ValueControl::mouseUp(button, local, modifiers);
    gui::RootControl* top = root();
    if (!open || !top)
        return;
    gui::Menu menu;
    const int current = value;
    for (int option = 0; option < offered(); ++option) {
        const Paths paths = pathsFor(effect, option);
        const std::string text = paths.split ? std::string(paths.names[0]) + ": " + paths.first.text() + "    " +
                                                   paths.names[1] + ": " + paths.second.text()
                                             : paths.first.text();
        menu.add(text, option + 1, option == current);
    }
    gui::popupMenu(*top, menu, toRoot({0, height()}), [this](int id) {
        if (id > 0)
            choose(id - 1);
    });
}

void RoutingPicture::mouseWheel(gui::Point, int, float amount)
{
    if (isEditing() || amount == 0.0f)
        return;
    const int n = offered();
    choose(((std::min(value.get(), n - 1) + (amount > 0 ? 1 : -1)) % n + n) % n);
}

void RoutingPicture::mouseEntered()
{
    hovered = true;
    invalidate();
    gui::ValueControl::mouseEntered();
}

void RoutingPicture::mouseLeft()
{
    hovered = false;
    invalidate();
    gui::ValueControl::mouseLeft();
}

RoutingPanel::RoutingPanel(gui::Control& parent, OstrandInterface& editor) : gui::Control(parent, area)
{
    OstrandPlugin& plugin = editor.effect();
    picture = &add<RoutingPicture>(gui::Rect::ofSize(5, 14, 76, 61), plugin);
    mode = &add<SegmentedSwitch>(gui::Rect::ofSize(85, 14, 30, 50), std::vector<std::string>{"ST", "L/R", "M/S"});
    mode->vertical = true;
    editor.bind(*picture, plugin.routing.getIndex());
    editor.bind(*mode, plugin.routingMode.getIndex());
}
