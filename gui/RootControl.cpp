#include "gui/RootControl.h"

#include "gui/Canvas.h"
#include "gui/UserInterface.h"

#include <algorithm>

namespace gui {

namespace {

// Controls that asked to be deleted while an event was handled go when the
// outermost dispatch is done with it.
class Dispatch {
public:
    explicit Dispatch(UserInterface& ui) : owner(ui) { ++depth; }
    ~Dispatch()
    {
        if (--depth == 0)
            owner.deletePending();
    }
    Dispatch(const Dispatch&) = delete;
    Dispatch& operator=(const Dispatch&) = delete;

private:
    UserInterface& owner;
    static inline thread_local int depth = 0;
};

} // namespace

RootControl::RootControl(UserInterface& ui, int width, int height, int scale)
    : Control(ui, Rect{0, 0, width, height}), factor(scale < 2 ? 1 : 2)
{
    pixels.resize(width * factor, height * factor);
    invalidate();
}

void RootControl::setScale(int scale)
{
    scale = scale < 2 ? 1 : 2;
    if (scale == factor)
        return;
    factor = scale;
    frameChanged();
}

void RootControl::frameChanged()
{
    pixels.resize(width() * factor, height() * factor);
    invalidate();
}

Control* RootControl::controlAt(Point point)
{
    Control* c = this;
    while (Control* child = c->childAt(point)) {
        point = point - child->position();
        c = child;
    }
    return c;
}

void RootControl::track(Point point)
{
    UserInterface& ui = userInterface();
    if (!ui.capturedControl())
        ui.setControlUnderMouse(controlAt(point));
}

void RootControl::mouseDownAt(MouseButton button, Point point, int modifiers)
{
    const Dispatch dispatch(userInterface());
    UserInterface& ui = userInterface();
    if (Control* c = ui.capturedControl()) {
        c->mouseDown(button, c->fromRoot(point), modifiers);
        return;
    }
    Control* c = controlAt(point);
    c->takeFocus();
    ui.captureMouse(*c);
    ui.setHintText("");
    c->mouseDown(button, c->fromRoot(point), modifiers);
}

void RootControl::mouseMoveAt(Point point, int modifiers)
{
    const Dispatch dispatch(userInterface());
    UserInterface& ui = userInterface();
    if (Control* c = ui.capturedControl()) {
        c->mouseMove(c->fromRoot(point), modifiers);
        return;
    }
    Control* c = controlAt(point);
    ui.setControlUnderMouse(c);
    // The hover change may have reshaped the tree; ask again.
    c = controlAt(point);
    c->mouseMove(c->fromRoot(point), modifiers);
}

void RootControl::mouseUpAt(MouseButton button, Point point, int modifiers)
{
    const Dispatch dispatch(userInterface());
    UserInterface& ui = userInterface();
    Control* c = ui.capturedControl();
    if (!c)
        c = controlAt(point);
    else if (button == MouseButton::Left)
        ui.releaseMouse();
    c->mouseUp(button, c->fromRoot(point), modifiers);
    track(point);
}

void RootControl::wheelAt(Point point, int modifiers, int delta)
{
    const Dispatch dispatch(userInterface());
    UserInterface& ui = userInterface();
    const std::uint64_t now = ui.milliseconds();
    const float amount = wheelAmount(delta, now - lastWheel);
    lastWheel = now;
    Control* c = ui.capturedControl();
    if (!c)
        c = controlAt(point);
    c->mouseWheel(c->fromRoot(point), modifiers, amount);
}

float RootControl::wheelAmount(int delta, std::uint64_t elapsed)
{
    const float dt = static_cast<float>(std::clamp<std::uint64_t>(elapsed, 10, 500));
    const int notches = delta / 120;
    return std::clamp(static_cast<float>(notches) * (10.0f / dt) * 0.1f, -1.0f, 1.0f);
}

void RootControl::mouseLeftWindow()
{
    const Dispatch dispatch(userInterface());
    if (!userInterface().capturedControl())
        userInterface().setControlUnderMouse(nullptr);
}

bool RootControl::keyDown(const KeyEvent& key)
{
    const Dispatch dispatch(userInterface());
    for (Control* c = userInterface().focusedControl(); c; c = c->parent())
        if (c->keyPressed(key))
            return true;
    return false;
}

Rect RootControl::paintDirty()
{
    const Rect area = takeDirtyRect().intersection({0, 0, width(), height()});
    if (area.empty())
        return {};
    Canvas canvas(pixels, factor);
    canvas.clipTo(area);
    paintTree(canvas);
    pixels.takeDirtyRect();
    return area.scaled(factor);
}

void RootControl::paint(Canvas& canvas) { canvas.fillRect({0, 0, width(), height()}, background); }

} // namespace gui
