#pragma once

#include "gui/Bitmap.h"
#include "gui/Control.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace gui {

// The top of a control tree, bound to one window. It owns the off-screen
// bitmap the tree paints into (its size times the scale: 1, or 2 on HiDPI
// screens) and turns the window's mouse, wheel and key input into calls on
// the controls. Points arrive in window coordinates, which are the root's.
class RootControl : public Control {
public:
    RootControl(UserInterface& ui, int width, int height, int scale = 1);

    int scale() const { return factor; }
    void setScale(int scale);
    const Bitmap& surface() const { return pixels; }
    Bitmap& surface() { return pixels; }

    Pixel background = rgba(40, 42, 46);

    // Input from the window. A press captures the mouse for the deepest
    // control hit (unless a control holds it already); moves and releases go
    // to the capturing control, otherwise to the control under the point; a
    // left release ends the capture first.
    void mouseDownAt(MouseButton button, Point point, int modifiers);
    void mouseMoveAt(Point point, int modifiers);
    void mouseUpAt(MouseButton button, Point point, int modifiers);
    // `delta` in the usual units of 120 per notch.
    void wheelAt(Point point, int modifiers, int delta);
    // The pointer left the window.
    void mouseLeftWindow();
    // To the focused control, then up its parents until one handles it.
    bool keyDown(const KeyEvent& key);

    // The deepest control hit by a window point, descending through the
    // children that are hit; the root itself when no child is.
    Control* controlAt(Point point);

    // A wheel move of `delta` (120 per notch) `elapsed` ms after the previous
    // one: whole notches x (10 / elapsed, with elapsed held in 10..500) x 0.1,
    // held in -1..1. Quick turns move further per notch.
    static float wheelAmount(int delta, std::uint64_t elapsed);

    // The area to paint is kept in a few separate rectangles (merged when
    // they touch, or when there would be more than maxDirtyAreas), so
    // changes far apart, a meter and a knob, do not repaint all between
    // them. The union is kept as well (dirtyRect).
    static constexpr std::size_t maxDirtyAreas = 6;
    using Control::invalidate;
    void invalidate(const Rect& area) override;
    const std::vector<Rect>& dirtyAreas() const { return dirtyList; }

    // Paints the dirty areas of the tree into the surface and returns them
    // in the surface's pixels (none when nothing was dirty).
    std::vector<Rect> paintDirtyAreas();
    // The same, returning their union (empty when nothing was dirty).
    Rect paintDirty();

    void paint(Canvas& canvas) override;

protected:
    void frameChanged() override;

private:
    void track(Point point);
    // Adds an area, merging it with those it touches.
    void absorb(Rect area);

    Bitmap pixels;
    std::vector<Rect> dirtyList;
    int factor;
    std::uint64_t lastWheel = 0;
};

} // namespace gui
