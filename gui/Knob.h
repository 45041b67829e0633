#pragma once

#include "gui/Pixel.h"
#include "gui/ValueControl.h"

#include <cstdint>

namespace gui {

class Bitmap;

// How a knob looks and where its ring is. Angles in degrees, 0 at the
// top, clockwise; positions in the knob's coordinates.
struct KnobStyle {
    const Bitmap* image = nullptr; // drawn at (0, 0); none: a drawn knob
    PointF centre{20, 20};
    float innerRadius = 14;
    float outerRadius = 19;
    float arcStart = 210;
    float arcExtent = 300;
    Pixel track = rgba(70, 74, 82);
    Pixel fill = rgba(232, 160, 48);
    Pixel pointer = rgba(245, 245, 245);
    Pixel body = rgba(58, 61, 68);
};

// The main value control. Dragged up and down it adjusts linearly (a full
// range over 200 pixels, and 20 pixels per step for ranges under 10 steps);
// pressed on its outer ring it turns like a dial. The fine action slows a
// drag to the fine factor; without it a slow drag of a large range also runs
// at the fine rate and speeds up to the full rate at 0.1 pixel per ms. The
// wheel adds range x amount. The reset action sets the default value, and
// the alternate action raises alternateAction for the editor.
class Knob : public RolloverValueControl {
public:
    using Style = KnobStyle;

    enum class DragMode { Idle, Linear, Rotary };
    enum class Zone { Outside, Body, Ring };

    Knob(Control& parent, const Rect& frame, const Style& style = {});

    const Style& style() const { return look; }
    void setStyle(const Style& style);

    bool speedSensitive = true;
    float fineFactor = 0.1f;

    DragMode dragMode() const { return mode; }
    Zone hoverZone() const { return zone; }
    bool alternateActive() const { return alternate; }

    NotifyEvent alternateAction{this};

    // The angle of a point around the centre in turns, 0 at the top,
    // clockwise, in [0, 1); 0 at the centre itself.
    float angleOf(PointF local) const;
    // On the ring: within the arc and between the radii.
    bool onRing(Point local) const;
    // The angle (turns) at which the current value is drawn.
    float valueAngle() const;

    void paint(Canvas& canvas) override;
    void mouseDown(MouseButton button, Point local, int modifiers) override;
    void mouseMove(Point local, int modifiers) override;
    void mouseUp(MouseButton button, Point local, int modifiers) override;
    void mouseWheel(Point local, int modifiers, float amount) override;
    void mouseEntered() override;
    void mouseLeft() override;

private:
    void setZone(Zone z);
    void followAlternate(int modifiers);
    void applySteps(double steps);
    // The value at an angle (turns) measured from the arc's start.
    int valueAtArcPosition(double turnsFromStart) const;

    Style look;
    DragMode mode = DragMode::Idle;
    Zone zone = Zone::Outside;
    bool alternate = false;
    std::uint64_t lastEventTime = 0;
    int lastY = 0;
    double remainder = 0;
    double mouseTurns = 0;     // rotary: the mouse's angle, unwrapped
    double startMouseTurns = 0;
    double startValueTurns = 0;
};

} // namespace gui
