#include "gui/Control.h"

#include "gui/Canvas.h"
#include "gui/RootControl.h"
#include "gui/UserInterface.h"

#include <algorithm>

namespace gui {

Control::Control(Control& parent, const Rect& frame) : Component(parent.userInterface()), frameRect(frame)
{
    attach(&parent);
}

Control::Control(UserInterface& ui, const Rect& frame) : Component(ui), frameRect(frame) {}

Control::~Control()
{
    // Children go first, topmost first, without redrawing one another.
    destroying = true;
    while (!childList.empty())
        delete childList.back();
    userInterface().forgetControl(*this);
    detach();
}

void Control::attach(Control* newParent)
{
    parentControl = newParent;
    if (!newParent)
        return;
    auto& siblings = newParent->childList;
    // Overlays stay on top: a plain control goes below the first of them.
    auto at = isOverlay() ? siblings.end()
                          : std::find_if(siblings.begin(), siblings.end(), [](Control* c) { return c->isOverlay(); });
    siblings.insert(at, this);
    newParent->invalidate(frameRect);
}

void Control::detach()
{
    if (!parentControl)
        return;
    std::erase(parentControl->childList, this);
    parentControl->invalidate(frameRect);
    parentControl = nullptr;
}

void Control::setParent(Control* newParent)
{
    if (newParent == parentControl)
        return;
    detach();
    attach(newParent);
}

void Control::bringToFront()
{
    Control* p = parentControl;
    if (!p)
        return;
    std::erase(p->childList, this);
    attach(p);
}

RootControl* Control::root()
{
    Control* c = this;
    while (c->parentControl)
        c = c->parentControl;
    return dynamic_cast<RootControl*>(c);
}

void Control::setFrame(const Rect& frame)
{
    if (frame == frameRect)
        return;
    if (parentControl)
        parentControl->invalidate(frameRect);
    frameRect = frame;
    if (parentControl)
        parentControl->invalidate(frameRect);
    else
        invalidate();
    frameChanged();
}

void Control::setHitBounds(const Rect& area)
{
    hitArea = area;
    customHitBounds = true;
}

Point Control::toRoot(Point local) const
{
    for (const Control* c = this; c->parentControl; c = c->parentControl)
        local = local + c->position();
    return local;
}

bool Control::isShown() const
{
    for (const Control* c = this; c; c = c->parentControl)
        if (!c->visible || c->opacity < 1 || c->width() < 1 || c->height() < 1)
            return false;
    return true;
}

bool Control::hitTest(Point local) const
{
    if (!visible || !enabled || !hitBounds().contains(local))
        return false;
    long effective = static_cast<long>(opacityAt(local)) * opacity;
    for (const Control* c = parentControl; c; c = c->parentControl)
        effective = effective * c->opacity / 255;
    return effective > static_cast<long>(hitThreshold) * 255;
}

Control* Control::childAt(Point local) const
{
    for (auto it = childList.rbegin(); it != childList.rend(); ++it)
        if ((*it)->hitTest(local - (*it)->position()))
            return *it;
    return nullptr;
}

bool Control::mouseCaptured() const { return userInterface().capturedControl() == this; }

void Control::invalidate(const Rect& area)
{
    if (destroying || !visible || opacity < 1)
        return;
    const Rect r = area.intersection({0, 0, width(), height()});
    if (r.empty())
        return;
    if (parentControl)
        parentControl->invalidate(r.offset(position()));
    else
        UpdatedObject::invalidate(r);
}

void Control::queueUpdate() { userInterface().queueUpdate(*this); }

void Control::propertyChanged(PropertyBase& property)
{
    // Showing, hiding or fading the control changes its parent's picture.
    if ((&property == &visible || &property == &opacity) && parentControl)
        parentControl->invalidate(frameRect);
    else
        invalidate();
    if (&property == &visible && !visible && mouseCaptured())
        userInterface().releaseMouse();
}

void Control::paint(Canvas&) {}

void Control::click() { clicked.fire(); }

int Control::opacityAt(Point) const { return 255; }

bool Control::keyPressed(const KeyEvent&) { return false; }

void Control::mouseDown(MouseButton, Point local, int)
{
    if (draggable) {
        dragging = true;
        grabOffset = local;
    }
    mouseDownEvent.fire();
}

void Control::mouseLeft() { mouseLeftEvent.fire(); }

void Control::mouseEntered() { mouseEnteredEvent.fire(); }

void Control::mouseMove(Point local, int)
{
    if (dragging)
        setPosition(position() + local - grabOffset);
}

void Control::mouseUp(MouseButton, Point local, int)
{
    dragging = false;
    mouseUpEvent.fire();
    if (hitTest(local))
        click();
}

void Control::mouseWheel(Point, int, float) {}

void Control::takeFocus() { userInterface().setFocus(this); }

void Control::paintTree(Canvas& canvas)
{
    if (!visible || opacity < 1 || width() < 1 || height() < 1)
        return;
    Canvas::Scope scope(canvas);
    canvas.clipTo({0, 0, width(), height()});
    if (canvas.clipEmpty())
        return;
    canvas.multiplyAlpha(static_cast<unsigned>(std::min(255, opacity.get())));
    paint(canvas);
    for (Control* child : childList) {
        Canvas::Scope childScope(canvas);
        canvas.translate(child->position().x, child->position().y);
        child->paintTree(canvas);
    }
}

} // namespace gui
