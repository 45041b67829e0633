#include "editor/ParameterKnob.h"

#include "editor/EditorStyle.h"
#include "gui/Bitmap.h"
#include "gui/Canvas.h"
#include "gui/UserInterface.h"

#include <cmath>
#include <numbers>

using namespace EditorStyle;

namespace {

constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;
constexpr float ringInner = 13.0f, ringOuter = 17.5f;
constexpr float panInner = 18.5f, panOuter = 23.0f;

gui::Knob::Style knobStyle(const gui::Rect& frame, const gui::Bitmap& body)
{
    gui::Knob::Style s;
    s.image = &body;
    s.centre = {static_cast<float>(frame.width()) * 0.5f,
                static_cast<float>(frame.height() - ParameterKnob::captionHeight) * 0.5f};
    s.innerRadius = ringInner;
    s.outerRadius = ringOuter;
    return s;
}

gui::PointF onCircle(gui::PointF c, float radius, float turns)
{
    const float a = turns * twoPi;
    return {c.x + radius * std::sin(a), c.y - radius * std::cos(a)};
}

} // namespace

ParameterKnob::ParameterKnob(gui::Control& parent, const gui::Rect& frame, const gui::Bitmap& body,
                             const std::string& initial)
    : gui::Knob(parent, frame, knobStyle(frame, body)), colour(accent),
      label(userInterface().createText(labelFont()))
{
    caption = initial;
}

void ParameterKnob::showText(const std::string& text)
{
    if (text == transient)
        return;
    transient = text;
    invalidate();
}

void ParameterKnob::valueTextChanged(const std::string& text)
{
    if (text == valueText)
        return;
    valueText = text;
    if (rollover() || isEditing())
        invalidate();
}

void ParameterKnob::paint(gui::Canvas& canvas)
{
    const Style& s = style();
    const gui::PointF c = s.centre;
    canvas.drawBitmap(*s.image, static_cast<int>(std::lround(c.x - static_cast<float>(s.image->width()) * 0.5f)),
                      static_cast<int>(std::lround(c.y - static_cast<float>(s.image->height()) * 0.5f)));
    const float radius = 15.25f;
    const float start = s.arcStart / 360.0f, extent = s.arcExtent / 360.0f;
    const bool active = rollover() || isEditing();
    canvas.strokeArc(c, radius, start, extent, 2.5f, hoverZone() == Zone::Ring ? faceHover : knobTrack);
    const float fraction = range() > 0 ? static_cast<float>(value - minimum) / static_cast<float>(range()) : 0.0f;
    const float from = bipolar ? 0.5f : 0.0f;
    const float lo = std::min(from, fraction), hi = std::max(from, fraction);
    const gui::Pixel fill = enabled.get() ? colour : faintText;
    if (hi - lo > 0.002f)
        canvas.strokeArc(c, radius, start + extent * lo, extent * (hi - lo), 2.5f, fill);
    const float angle = valueAngle();
    canvas.drawLine(onCircle(c, 3.5f, angle), onCircle(c, ringInner - 4.0f, angle), 2.0f,
                    active ? knobPointer : gui::rgba(196, 200, 208));
    const gui::Rect captionArea{-6, height() - captionHeight, width() + 6, height()};
    if (!transient.empty())
        canvas.drawText(*label, transient, captionArea, accent, gui::Align::Center);
    else if (active && !valueText.empty())
        canvas.drawText(*label, valueText, captionArea, accent, gui::Align::Center);
    else
        canvas.drawText(*label, caption.get(), captionArea, dimText, gui::Align::Center);
}

void ParameterKnob::mouseEntered()
{
    gui::Knob::mouseEntered();
    invalidate();
}

void ParameterKnob::mouseLeft()
{
    gui::Knob::mouseLeft();
    invalidate();
}

void ParameterKnob::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    gui::Knob::mouseUp(button, local, modifiers);
    invalidate();
}

// --- PanRing ---

namespace {

gui::Knob::Style ringStyle(const ParameterKnob& knob)
{
    gui::Knob::Style s;
    s.centre = knob.centre();
    s.innerRadius = panInner;
    s.outerRadius = panOuter;
    return s;
}

} // namespace

PanRing::PanRing(gui::Control& parent, ParameterKnob& knob)
    : gui::Knob(parent, knob.frame(), ringStyle(knob)), inner(knob)
{
}

void PanRing::valueTextChanged(const std::string& text)
{
    valueText = text;
    if (rollover() || isEditing())
        showInKnob();
}

void PanRing::showInKnob() { inner.showText(valueText.empty() ? std::string() : "Pan " + valueText); }

void PanRing::paint(gui::Canvas& canvas)
{
    const Style& s = style();
    const float radius = 21.0f;
    const float start = s.arcStart / 360.0f, extent = s.arcExtent / 360.0f;
    const bool active = rollover() || isEditing();
    canvas.strokeArc(s.centre, radius, start, extent, active ? 2.0f : 1.2f, active ? faceHover : gui::rgba(40, 44, 51));
    // The pan as an arc from the top to its angle, with a tick at its end.
    const float fraction = range() > 0 ? static_cast<float>(value - minimum) / static_cast<float>(range()) : 0.5f;
    const float lo = std::min(0.5f, fraction), hi = std::max(0.5f, fraction);
    const gui::Pixel colour = inner.colour;
    if (hi - lo > 0.002f)
        canvas.strokeArc(s.centre, radius, start + extent * lo, extent * (hi - lo), 2.0f,
                         gui::withAlpha(colour, active ? 255 : 200));
    const float angle = valueAngle();
    canvas.drawLine(onCircle(s.centre, panInner, angle), onCircle(s.centre, panOuter, angle), 1.6f,
                    active ? knobPointer : colour);
}

int PanRing::opacityAt(gui::Point local) const
{
    const float dx = static_cast<float>(local.x) + 0.5f - style().centre.x;
    const float dy = static_cast<float>(local.y) + 0.5f - style().centre.y;
    const float d2 = dx * dx + dy * dy;
    return d2 >= panInner * panInner && d2 <= panOuter * panOuter ? 255 : 0;
}

void PanRing::mouseEntered()
{
    gui::Knob::mouseEntered();
    showInKnob();
    invalidate();
}

void PanRing::mouseLeft()
{
    gui::Knob::mouseLeft();
    if (!isEditing())
        inner.showText({});
    invalidate();
}

void PanRing::mouseUp(gui::MouseButton button, gui::Point local, int modifiers)
{
    gui::Knob::mouseUp(button, local, modifiers);
    if (!rollover())
        inner.showText({});
    invalidate();
}
