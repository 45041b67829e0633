#include "gui/Knob.h"

#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/ModifierActions.h"
#include "gui/UserInterface.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace gui {

namespace {

constexpr double degreesToTurns = 0.0027777778;

double wrapTurns(double t) { return t - std::floor(t); }

double turns(float degrees) { return static_cast<double>(degrees) * degreesToTurns; }

PointF toPointF(Point p) { return {static_cast<float>(p.x), static_cast<float>(p.y)}; }

} // namespace

Knob::Knob(Control& parent, const Rect& frame, const Style& style) : RolloverValueControl(parent, frame), look(style)
{
}

void Knob::setStyle(const Style& style)
{
    look = style;
    invalidate();
}

float Knob::angleOf(PointF p) const
{
    const float dx = p.x - look.centre.x, dy = p.y - look.centre.y;
    if (dx == 0 && dy == 0)
        return 0;
    const double angle = static_cast<double>(std::atan2(dy, dx)) / (2 * std::numbers::pi) + 0.25;
    return static_cast<float>(wrapTurns(angle));
}

bool Knob::onRing(Point local) const
{
    const PointF p = toPointF(local);
    const double fromStart = wrapTurns(static_cast<double>(angleOf(p)) - turns(look.arcStart));
    if (fromStart > turns(look.arcExtent))
        return false;
    const float dx = p.x - look.centre.x, dy = p.y - look.centre.y;
    const float d2 = dx * dx + dy * dy;
    return look.innerRadius * look.innerRadius <= d2 && d2 <= look.outerRadius * look.outerRadius;
}

float Knob::valueAngle() const
{
    const double fraction = range() > 0 ? static_cast<double>(value - minimum) / range() : 0.0;
    return static_cast<float>(wrapTurns(turns(look.arcStart) + fraction * turns(look.arcExtent)));
}

int Knob::valueAtArcPosition(double turnsFromStart) const
{
    const double extent = turns(look.arcExtent);
    const double fraction = extent > 0 ? std::clamp(turnsFromStart / extent, 0.0, 1.0) : 0.0;
    return minimum + static_cast<int>(std::lround(fraction * range()));
}

void Knob::setZone(Zone z)
{
    if (z == zone)
        return;
    zone = z;
    invalidate();
}

void Knob::followAlternate(int modifiers)
{
    const bool on = (ModifierActions::lookup(modifiers) & Action::Alternate) != 0;
    if (on == alternate)
        return;
    alternate = on;
    if (on)
        alternateAction.fire();
}

void Knob::applySteps(double steps)
{
    const double whole = std::trunc(steps);
    remainder = steps - whole;
    if (whole != 0)
        step(static_cast<int>(whole));
}

void Knob::mouseDown(MouseButton button, Point local, int modifiers)
{
    RolloverValueControl::mouseDown(button, local, modifiers);
    // A press without a move before it still knows where it landed.
    setZone(onRing(local) ? Zone::Ring : Zone::Body);
    remainder = 0;
    const int actions = ModifierActions::lookup(modifiers);
    if (actions & Action::Reset) {
        value = defaultValue.get();
        return;
    }
    followAlternate(modifiers);
    lastEventTime = userInterface().milliseconds();
    if (zone == Zone::Ring) {
        mode = DragMode::Rotary;
        mouseTurns = startMouseTurns = angleOf(toPointF(local));
        startValueTurns = valueAngle();
    } else if (look.image && !look.image->empty()) {
        mode = DragMode::Linear;
        lastY = local.y;
    }
}

void Knob::mouseMove(Point local, int modifiers)
{
    RolloverValueControl::mouseMove(local, modifiers);
    if (mode == DragMode::Idle) {
        if (!(modifiers & (Modifier::LeftButton | Modifier::RightButton | Modifier::MiddleButton)) &&
            hitBounds().contains(local))
            setZone(onRing(local) ? Zone::Ring : Zone::Body);
        return;
    }
    followAlternate(modifiers);
    if (mode == DragMode::Rotary) {
        // The mouse angle is followed continuously, so a drag across the
        // top (where angles wrap) does not jump.
        const double now = angleOf(toPointF(local));
        double delta = now - wrapTurns(mouseTurns);
        delta -= std::round(delta);
        mouseTurns += delta;
        const double target = startValueTurns + (mouseTurns - startMouseTurns);
        double fromStart = target - turns(look.arcStart);
        // Measured from the arc's start the way that lands nearest the arc.
        fromStart -= std::floor(fromStart);
        const double extent = turns(look.arcExtent);
        if (fromStart > extent)
            fromStart = fromStart - extent < 1.0 - fromStart ? extent : 0.0;
        value = valueAtArcPosition(fromStart);
        return;
    }
    double dy = lastY - local.y;
    lastY = local.y;
    const int actions = ModifierActions::lookup(modifiers);
    if (actions & Action::Fine) {
        dy *= static_cast<double>(fineFactor);
    } else if (speedSensitive && range() > 20) {
        const std::uint64_t now = userInterface().milliseconds();
        const double t = static_cast<double>(std::max<std::uint64_t>(now - lastEventTime, 20));
        lastEventTime = now;
        const double speed = std::clamp(std::fabs(dy) / t, 0.0, 0.1);
        const double fine = static_cast<double>(fineFactor);
        dy *= fine + (1.0 - fine) * 10.0 * speed;
    }
    const double r = range();
    applySteps(r * dy / std::min(r * 20.0, 200.0) + remainder);
}

void Knob::mouseUp(MouseButton button, Point local, int modifiers)
{
    const bool wasIdle = mode == DragMode::Idle;
    alternate = false;
    mode = DragMode::Idle;
    remainder = 0;
    // A knob without an image is a dial: a click sets the value it points at.
    if (wasIdle && (!look.image || look.image->empty()) && hitTest(local) &&
        !(ModifierActions::lookup(modifiers) & Action::Reset)) {
        const double fromStart = wrapTurns(static_cast<double>(angleOf(toPointF(local))) - turns(look.arcStart));
        value = valueAtArcPosition(fromStart);
    }
    RolloverValueControl::mouseUp(button, local, modifiers);
    invalidate();
}

void Knob::mouseWheel(Point, int modifiers, float amount)
{
    if (mode != DragMode::Idle)
        return;
    double a = static_cast<double>(amount);
    if (ModifierActions::lookup(modifiers) & Action::Fine)
        a *= static_cast<double>(fineFactor);
    const int before = value;
    beginGesture();
    applySteps(range() * a + remainder);
    endGesture();
    if (value != before)
        invalidate();
}

void Knob::mouseEntered()
{
    setZone(Zone::Body);
    RolloverValueControl::mouseEntered();
}

void Knob::mouseLeft()
{
    setZone(Zone::Outside);
    RolloverValueControl::mouseLeft();
}

void Knob::paint(Canvas& canvas)
{
    const float ringRadius = 0.5f * (look.innerRadius + look.outerRadius);
    const float ringWidth = std::max(1.0f, look.outerRadius - look.innerRadius - 1.0f);
    if (look.image && !look.image->empty())
        canvas.drawBitmap(*look.image, 0, 0);
    else
        canvas.fillCircle(look.centre, look.innerRadius - 1.0f, look.body);
    const float start = static_cast<float>(turns(look.arcStart));
    const float extent = static_cast<float>(turns(look.arcExtent));
    const Pixel track = zone == Zone::Ring ? blendOver(look.track, withAlpha(look.fill, 70)) : look.track;
    canvas.strokeArc(look.centre, ringRadius, start, extent, ringWidth, track);
    const float fraction = range() > 0 ? static_cast<float>(value - minimum) / static_cast<float>(range()) : 0.0f;
    if (fraction > 0)
        canvas.strokeArc(look.centre, ringRadius, start, extent * fraction, ringWidth, look.fill);
    const float angle = valueAngle() * 2.0f * std::numbers::pi_v<float>;
    const float s = std::sin(angle), c = std::cos(angle);
    const float inner = look.innerRadius * 0.35f, outer = look.innerRadius - 2.5f;
    canvas.drawLine({look.centre.x + s * inner, look.centre.y - c * inner},
                    {look.centre.x + s * outer, look.centre.y - c * outer}, 2.0f,
                    rollover() ? look.pointer : blendOver(look.pointer, withAlpha(look.body, 60)));
}

} // namespace gui
