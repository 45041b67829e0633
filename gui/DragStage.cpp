#include "gui/DragStage.h"

#include "gui/RootControl.h"
#include "gui/UserInterface.h"

namespace gui {

DragStage::DragStage(Control& parent) : Overlay(parent, Rect{0, 0, parent.width(), parent.height()})
{
    visible = false;
}

DragStage::~DragStage() = default;

void DragStage::addListener(DragManager::Listener& listener) { listeners.push_back(&listener); }

void DragStage::removeListener(DragManager::Listener& listener) { std::erase(listeners, &listener); }

void DragStage::beginDrag(std::unique_ptr<DragObject> dragged, Point stagePoint)
{
    if (object)
        cancelDrag();
    setFrame(Rect{0, 0, parent()->width(), parent()->height()});
    object = std::move(dragged);
    over = nullptr;
    visible = true;
    userInterface().captureMouse(*this);
    takeFocus();
    follow(stagePoint);
}

void DragStage::follow(Point local)
{
    mouse = local;
    RootControl* r = root();
    Control* now = r ? r->controlAt(toRoot(local)) : nullptr;
    if (now == this || now == r)
        now = nullptr;
    if (now != over) {
        Control* before = over;
        over = now;
        // The control left may have gone meanwhile (a panel rebuilt).
        if (before && !userInterface().contains(before))
            before = nullptr;
        for (auto* l : std::vector(listeners)) {
            if (before)
                l->dragLeft(*object, *before);
            if (now)
                l->dragEntered(*object, *now);
        }
    }
    for (auto* l : std::vector(listeners))
        l->dragMoved(*object, over, local);
    invalidate();
}

void DragStage::mouseMove(Point local, int modifiers)
{
    Overlay::mouseMove(local, modifiers);
    if (object)
        follow(local);
}

void DragStage::mouseUp(MouseButton button, Point local, int modifiers)
{
    Overlay::mouseUp(button, local, modifiers);
    if (!object)
        return;
    follow(local);
    for (auto* l : std::vector(listeners))
        l->dragDropped(*object, over, local);
    finish();
}

bool DragStage::keyPressed(const KeyEvent& key)
{
    if (key.code != KeyCode::Escape || !object)
        return false;
    cancelDrag();
    return true;
}

void DragStage::cancelDrag()
{
    if (!object)
        return;
    for (auto* l : std::vector(listeners))
        l->dragCancelled(*object);
    if (mouseCaptured())
        userInterface().releaseMouse();
    finish();
}

void DragStage::finish()
{
    object.reset();
    over = nullptr;
    visible = false;
}

} // namespace gui
