#pragma once

#include "editor/ParameterControl.h"
#include "gui/Knob.h"

#include <memory>
#include <string>

namespace gui {
class Bitmap;
class Text;
}

// A knob of the editor: the body image, a value ring around it, a pointer,
// and its caption underneath, which shows the value instead ("1.25 kHz")
// while the mouse is over the knob or drags it. A bipolar knob (pans, gains)
// fills its ring from the middle.
//
// The knob sits in the top part of its frame, centred; the caption takes
// the bottom captionHeight units.
class ParameterKnob : public gui::Knob, public ParameterControl {
public:
    static constexpr int captionHeight = 11;

    ParameterKnob(gui::Control& parent, const gui::Rect& frame, const gui::Bitmap& body, const std::string& caption);

    Property<std::string> caption{this};
    bool bipolar = false;
    gui::Pixel colour;

    // A text shown in the caption's place for as long as it is set (the pan
    // ring around the knob shows its own value here).
    void showText(const std::string& text);
    void valueTextChanged(const std::string& text) override;

    gui::PointF centre() const { return style().centre; }

    void paint(gui::Canvas& canvas) override;
    void mouseEntered() override;
    void mouseLeft() override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    std::unique_ptr<gui::Text> label;
    std::string valueText;
    std::string transient;
};

// The ring around a knob that edits a second parameter (the pan of a filter
// frequency, of a gain): turned like a dial, its position drawn as an arc
// from the top. Only the ring itself takes the mouse; the knob inside stays
// reachable.
class PanRing : public gui::Knob, public ParameterControl {
public:
    // Around `knob`, whose frame it shares (in the knob's parent).
    PanRing(gui::Control& parent, ParameterKnob& knob);

    void valueTextChanged(const std::string& text) override;

    void paint(gui::Canvas& canvas) override;
    int opacityAt(gui::Point local) const override;
    void mouseEntered() override;
    void mouseLeft() override;
    void mouseUp(gui::MouseButton button, gui::Point local, int modifiers) override;

private:
    void showInKnob();

    ParameterKnob& inner;
    std::string valueText;
};
