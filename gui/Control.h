#pragma once

#include "gui/Component.h"
#include "gui/Geometry.h"
#include "gui/Input.h"
#include "gui/NotifyEvent.h"
#include "gui/UpdatedObject.h"

#include <string>
#include <utility>
#include <vector>

namespace gui {

class Canvas;
class RootControl;

// A rectangular node of the control tree. A control paints itself in its own
// coordinates (0, 0 at its top-left corner) and owns its children: the last
// child is drawn last and is the topmost for the mouse. Creating a control
// inside a parent hands it to the parent, which destroys it with itself:
//
//     Knob& knob = panel.add<Knob>(Rect::ofSize(10, 10, 40, 40), style);
//
// The mouse and key operations are called by the root's dispatch with points
// in this control's coordinates and the modifier bits of gui::Modifier.
class Control : public Component, public UpdatedObject {
public:
    // A control in `parent` at `frame` (in the parent's coordinates).
    Control(Control& parent, const Rect& frame);
    ~Control() override;

    // Makes a T(*this, args...) as a child of this control.
    template <typename T, typename... Args> T& add(Args&&... args)
    {
        return *new T(*this, std::forward<Args>(args)...);
    }

    // Tree.
    Control* parent() const { return parentControl; }
    const std::vector<Control*>& children() const { return childList; }
    // Moves this control into another parent (or none), on top of its children.
    void setParent(Control* newParent);
    void bringToFront();
    RootControl* root();
    // Overlays stay above the other children of their parent.
    virtual bool isOverlay() const { return false; }

    // Geometry, in the parent's coordinates.
    Point position() const { return {frameRect.left, frameRect.top}; }
    int width() const { return frameRect.width(); }
    int height() const { return frameRect.height(); }
    const Rect& frame() const { return frameRect; }
    void setFrame(const Rect& frame);
    void setPosition(Point p) { setFrame(Rect::ofSize(p.x, p.y, width(), height())); }
    void setSize(int w, int h) { setFrame(Rect::ofSize(frameRect.left, frameRect.top, w, h)); }
    // The area that the mouse can hit, in own coordinates; (0, 0, w, h)
    // unless set.
    Rect hitBounds() const { return customHitBounds ? hitArea : Rect{0, 0, width(), height()}; }
    void setHitBounds(const Rect& area);
    Point toRoot(Point local) const;
    Point fromRoot(Point rootPoint) const { return rootPoint - toRoot({0, 0}); }

    // Bindable state; every change redraws the control.
    Property<bool> visible{this, true};
    Property<bool> enabled{this, true};
    Property<int> opacity{this, 255}; // 0..255
    Property<std::string> hint{this};
    int hitThreshold = 240;
    bool draggable = false;

    // Visible, opacity of at least 1 and at least 1x1, all the way up.
    bool isShown() const;
    // Hit by the point (own coordinates): shown as far as this control goes,
    // enabled, inside the hit bounds, and its opacity at the point times its
    // opacity and that of every ancestor above threshold x 255.
    bool hitTest(Point local) const;
    // The topmost child hit by the point (own coordinates), or none.
    Control* childAt(Point local) const;
    bool mouseCaptured() const;
    bool isDragging() const { return dragging; }

    NotifyEvent clicked{this};
    NotifyEvent mouseDownEvent{this};
    NotifyEvent mouseLeftEvent{this};
    NotifyEvent mouseEnteredEvent{this};
    NotifyEvent mouseUpEvent{this};

    // Redraws the whole control, or part of it (own coordinates).
    void invalidate() { invalidate(Rect{0, 0, width(), height()}); }
    void invalidate(const Rect& area) override;
    // Asks for deferredUpdate() at the next turn of the update queue.
    void queueUpdate();

    void propertyChanged(PropertyBase& property) override;
    virtual void paint(Canvas& canvas);
    // Called from the user interface's update queue after queueUpdate().
    virtual void deferredUpdate() {}
    virtual void click();
    // 0..255: how opaque the control is at the point (own coordinates).
    virtual int opacityAt(Point local) const;
    // True when the key was handled; unhandled keys go to the parent.
    virtual bool keyPressed(const KeyEvent& key);
    virtual void mouseDown(MouseButton button, Point local, int modifiers);
    virtual void mouseLeft();
    virtual void mouseEntered();
    virtual void mouseMove(Point local, int modifiers);
    virtual void mouseUp(MouseButton button, Point local, int modifiers);
    // `amount` in -1..1 (see RootControl::wheelAmount).
    virtual void mouseWheel(Point local, int modifiers, float amount);
    virtual void takeFocus();

    // Paints this control and its children (canvas origin at this control).
    void paintTree(Canvas& canvas);

protected:
    // For the root, which has no parent.
    Control(UserInterface& ui, const Rect& frame);
    // The frame changed (after the move or resize).
    virtual void frameChanged() {}

private:
    void attach(Control* newParent);
    void detach();

    Control* parentControl = nullptr;
    std::vector<Control*> childList;
    Rect frameRect;
    Rect hitArea;
    bool customHitBounds = false;
    bool dragging = false;
    bool destroying = false;
    Point grabOffset;
};

} // namespace gui
