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

void RootControl::invalidate(const Rect& area)
{
    Control::invalidate(area);
    const Rect r = area.intersection({0, 0, width(), height()});
    // Not taken (the tree is being taken down, or the root is hidden).
    if (r.empty() || dirtyRect().intersection(r) != r)
        return;
    absorb(r);
    while (dirtyList.size() > maxDirtyAreas) {
        // The two whose union adds the least area become one.
        auto size = [](const Rect& a) { return static_cast<long>(a.width()) * a.height(); };
        std::size_t best = 0, other = 1;
        long least = -1;
        for (std::size_t i = 0; i < dirtyList.size(); ++i)
            for (std::size_t j = i + 1; j < dirtyList.size(); ++j) {
                const long added = size(dirtyList[i].unite(dirtyList[j])) - size(dirtyList[i]) - size(dirtyList[j]);
                if (least < 0 || added < least) {
                    least = added;
                    best = i;
                    other = j;
                }
            }
        const Rect merged = dirtyList[best].unite(dirtyList[other]);
        dirtyList.erase(dirtyList.begin() + static_cast<std::ptrdiff_t>(other));
        dirtyList.erase(dirtyList.begin() + static_cast<std::ptrdiff_t>(best));
        absorb(merged);
    }
}

void RootControl::absorb(Rect area)
{
    // Areas that overlap or nearly touch are painted as one.
    for (bool grew = true; grew;) {
        grew = false;
        for (auto it = dirtyList.begin(); it != dirtyList.end(); ++it)
            if (it->inset(-2).intersects(area)) {
                area = area.unite(*it);
                dirtyList.erase(it);
                grew = true;
                break;
            }
    }
    dirtyList.push_back(area);
}

std::vector<Rect> RootControl::paintDirtyAreas()
{
    takeDirtyRect();
    std::vector<Rect> painting;
    painting.swap(dirtyList);
    for (Rect& area : painting) {
        Canvas canvas(pixels, factor);
        canvas.clipTo(area);
        paintTree(canvas);
        area = area.scaled(factor);
    }
    pixels.takeDirtyRect();
    return painting;
}

Rect RootControl::paintDirty()
{
    Rect all;
    for (const Rect& area : paintDirtyAreas())
        all = all.unite(area);
    return all;
}

void RootControl::paint(Canvas& canvas) { canvas.fillRect({0, 0, width(), height()}, background); }

} // namespace gui
