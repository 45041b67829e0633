#pragma once

#include "gui/Overlay.h"

#include <memory>
#include <vector>

namespace gui {

// Something being dragged: it knows the control it came from; editors
// derive from it to carry what is dragged (a modulation source).
class DragObject {
public:
    explicit DragObject(Control& from) : origin(&from) {}
    virtual ~DragObject() = default;
    Control* source() const { return origin; }

private:
    Control* origin;
};

namespace DragManager {

// Hears the course of a drag. `target` is the deepest control under the
// mouse (the stage itself never counts); listeners decide what it means,
// walking up its parents if they look for a kind of control.
class Listener {
public:
    virtual ~Listener() = default;
    virtual void dragEntered(DragObject&, Control& /*target*/) {}
    virtual void dragLeft(DragObject&, Control& /*target*/) {}
    virtual void dragMoved(DragObject&, Control* /*target*/, Point /*stagePoint*/) {}
    virtual void dragDropped(DragObject&, Control* /*target*/, Point /*stagePoint*/) {}
    virtual void dragCancelled(DragObject&) {}
};

} // namespace DragManager

// The surface on which a drag takes place: an overlay over its parent
// (usually the whole window) that shows only while a drag runs. It takes
// the mouse from the control that started the drag, follows the pointer,
// reports entering and leaving controls, moves, the drop on release and the
// cancel on Escape, and redraws itself as the pointer moves so a derived
// stage can paint the drag (a line from the source to the pointer).
class DragStage : public Overlay {
public:
    explicit DragStage(Control& parent);
    ~DragStage() override;

    void addListener(DragManager::Listener& listener);
    void removeListener(DragManager::Listener& listener);

    // Starts dragging `object` with the pointer at `stagePoint`.
    void beginDrag(std::unique_ptr<DragObject> object, Point stagePoint);
    // Ends a running drag as cancelled.
    void cancelDrag();

    bool dragging() const { return object != nullptr; }
    DragObject* draggedObject() const { return object.get(); }
    Control* target() const { return over; }
    Point pointer() const { return mouse; }

    // Never hit: the stage sees the mouse only through its capture.
    int opacityAt(Point) const override { return 0; }
    void mouseMove(Point local, int modifiers) override;
    void mouseUp(MouseButton button, Point local, int modifiers) override;
    bool keyPressed(const KeyEvent& key) override;

private:
    void follow(Point local);
    void finish();

    std::vector<DragManager::Listener*> listeners;
    std::unique_ptr<DragObject> object;
    Control* over = nullptr;
    Point mouse;
};

} // namespace gui
