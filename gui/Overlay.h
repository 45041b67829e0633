#pragma once

#include "gui/Control.h"

namespace gui {

// A control drawn above its siblings: it stays the topmost child of its
// parent when other controls are added later.
class Overlay : public Control {
public:
    Overlay(Control& parent, const Rect& frame) : Control(parent, frame) { bringToFront(); }
    bool isOverlay() const override { return true; }
};

} // namespace gui
