#pragma once

#include "editor/ParameterControl.h"
#include "gui/ValueControl.h"

#include <memory>
#include <string>

namespace gui {
class Text;
}
class OstrandInterface;
class OstrandPlugin;
class SegmentedSwitch;

// The routing picture: the arrangement of the filters in use as a diagram
// (two, one per channel path, in the split modes), the arrangement's text
// below it. A click lists the arrangements the current mode and number of
// filters offer; the wheel steps through them.
class RoutingPicture : public gui::ValueControl, public ParameterControl {
public:
    RoutingPicture(gui::Control& parent, const gui::Rect& frame, OstrandPlugin& plugin);

    // The arrangement shown for each channel path ("1 → 2" or "L: 1 → 2").
    std::string description() const;

    void paint(gui::Canvas& canvas) override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;
    void mouseWheel(gui::Point local, int modifiers, float amount) override;
    void mouseEntered() override;
    void mouseLeft() override;

private:
    int offered() const;
    void choose(int option);

    OstrandPlugin& effect;
    std::unique_ptr<gui::Text> numbers;
    std::unique_ptr<gui::Text> caption;
    bool hovered = false;
};

// The routing plate: the picture and the Stereo / Per Channel / Mid/Side
// buttons beside it.
class RoutingPanel : public gui::Control {
public:
    static constexpr gui::Rect area = {337, 302, 456, 381};

    RoutingPanel(gui::Control& parent, OstrandInterface& editor);

    RoutingPicture* picture = nullptr;
    SegmentedSwitch* mode = nullptr;
};
