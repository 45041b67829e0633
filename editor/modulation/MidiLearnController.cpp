#include "editor/modulation/MidiLearnController.h"

#include "editor/Drawing.h"
#include "editor/EditorButton.h"
#include "editor/EditorStyle.h"
#include "editor/GenericPluginInterface.h"
#include "editor/ParameterBinding.h"
#include "framework/AbstractMusicEventReceiver.h"
#include "framework/AbstractPluginParameter.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiVirtualPluginParameter.h"
#include "gui/Canvas.h"
#include "gui/Label.h"
#include "gui/Timer.h"
#include "gui/UserInterface.h"
#include "gui/ValueControl.h"

#include <algorithm>

using namespace EditorStyle;

MidiLearnController::MidiLearnController(gui::Control& surface, GenericPluginInterface& frame, EditorButton& learn,
                                         std::vector<Item> items)
    : gui::Overlay(surface, gui::Rect{0, 0, surface.width(), surface.height()}), editor(frame), learnButton(learn),
      extras(std::move(items)), font(userInterface().createText(captionFont())),
      statusFont(userInterface().createText(labelFont())), poller(userInterface().createTimer(pollInterval))
{
    visible = false;
    seenMap.fill(-2);
    poller->elapsed.addHandler([this](gui::NotifyEvent&) { poll(); });
}

MidiLearnController::~MidiLearnController() { setPending(-1); }

void MidiLearnController::setActive(bool on)
{
    if (on == active())
        return;
    chosen = -1;
    setPending(-1);
    learnButton.lit = on;
    if (!on) {
        poller->stop();
        visible = false;
        return;
    }
    bringToFront();
    statusText = clickText;
    visible = true;
    find();
    poll();
    poller->start();
    invalidate();
}

int MidiLearnController::pendingTarget() const
{
    const AbstractMusicEventReceiver* receiver = editor.plugin().getEventReceiver();
    if (!receiver)
        return -1;
    for (int slot = 0; slot < AbstractMusicEventReceiver::slotCount; ++slot)
        if (const AbstractChannelEventReceiver* r = receiver->getChannelReceiver(slot))
            if (r->getLearnTarget() >= 0)
                return r->getLearnTarget();
    return -1;
}

void MidiLearnController::setPending(int id)
{
    if (AbstractMusicEventReceiver* receiver = editor.plugin().getEventReceiver())
        receiver->setMidiLearnTarget(id);
}

int MidiLearnController::controllerOf(int id) const
{
    const MidiControllerMap* map = GenericPlugin::getSharedControllerMap();
    return map ? map->findController(id) : -1;
}

gui::Rect MidiLearnController::visiblePart(const gui::Control& control) const
{
    if (!control.isShown())
        return {};
    // The control's area, cut by every control it lies in (a panel
    // scrolled out of the strip is not in view).
    const gui::Point origin = control.toRoot({0, 0});
    gui::Rect area = gui::Rect::ofSize(origin.x, origin.y, control.width(), control.height());
    for (const gui::Control* c = control.parent(); c; c = c->parent()) {
        const gui::Point o = c->toRoot({0, 0});
        area = area.intersection(gui::Rect::ofSize(o.x, o.y, c->width(), c->height()));
    }
    return area.offset(-toRoot({0, 0}).x, -toRoot({0, 0}).y);
}

void MidiLearnController::find()
{
    found.clear();
    for (ParameterBinding* binding : editor.allBindings()) {
        gui::ValueControl& control = binding->control();
        const AbstractPluginParameter* p = editor.plugin().getParameter(binding->parameterIndex());
        const gui::Rect area = visiblePart(control);
        if (!p || area.empty())
            continue;
        found.push_back({binding->parameterIndex(), p->getName(), &control, area});
    }
    for (const Item& item : extras) {
        const MidiVirtualPluginParameter* v = editor.plugin().getVirtualParameter(item.id);
        if (v)
            found.push_back({item.id, v->getName(), nullptr, item.area});
    }
}

const MidiLearnController::Learnable* MidiLearnController::selected() const
{
    for (const Learnable& l : found)
        if (l.id == chosen)
            return &l;
    return nullptr;
}

const MidiLearnController::Learnable* MidiLearnController::learnableAt(gui::Point local) const
{
    // Later bindings lie over earlier ones (a pan ring over its knob); a
    // control counts where it is opaque, as for the mouse.
    for (auto it = found.rbegin(); it != found.rend(); ++it) {
        if (!it->area.contains(local))
            continue;
        if (!it->control)
            return &*it;
        const gui::Point p = it->control->fromRoot(toRoot(local));
        if (it->control->opacityAt(p) > 0)
            return &*it;
    }
    return nullptr;
}

void MidiLearnController::select(const Learnable& learnable)
{
    chosen = learnable.id;
    setPending(chosen);
    statusText = std::string(moveText) + " " + learnable.name;
    invalidate();
}

void MidiLearnController::poll()
{
    if (!active())
        return;
    const std::vector<Learnable> before = found;
    find();
    bool changed = before.size() != found.size();
    for (std::size_t i = 0; !changed && i < found.size(); ++i)
        changed = found[i].id != before[i].id || found[i].area != before[i].area;
    if (const MidiControllerMap* map = GenericPlugin::getSharedControllerMap())
        for (int c = 0; c < MidiControllerMap::controllerCount; ++c)
            if (map->get(c) != seenMap[static_cast<std::size_t>(c)]) {
                seenMap[static_cast<std::size_t>(c)] = map->get(c);
                changed = true;
            }
    // The choice was learned (the plug-in cleared it): ready for the next.
    if (chosen >= 0 && pendingTarget() < 0) {
        chosen = -1;
        statusText = clickText;
        changed = true;
    }
    if (changed)
        invalidate();
}

int MidiLearnController::opacityAt(gui::Point local) const
{
    // The learn button stays usable: it leaves the mode.
    const gui::Point p = learnButton.fromRoot(toRoot(local));
    return learnButton.hitBounds().contains(p) ? 0 : 255;
}

void MidiLearnController::mouseDown(gui::MouseButton button, gui::Point local, int modifiers)
{
    gui::Overlay::mouseDown(button, local, modifiers);
    if (button != gui::MouseButton::Left)
        return;
    if (const Learnable* l = learnableAt(local))
        select(*l);
}

void MidiLearnController::paint(gui::Canvas& canvas)
{
    canvas.fillRect({0, 0, width(), height()}, gui::rgba(6, 7, 9, 175));
    const gui::Point here = toRoot({0, 0});
    // The learnables themselves, undimmed, where they are in view.
    for (const Learnable& l : found) {
        if (!l.control)
            continue;
        gui::Canvas::Scope scope(canvas);
        canvas.clipTo(l.area);
        const gui::Point at = l.control->toRoot({0, 0});
        canvas.translate(at.x - here.x, at.y - here.y);
        l.control->paintTree(canvas);
    }
    // The learn button is no learnable, but it is how the mode ends.
    {
        gui::Canvas::Scope scope(canvas);
        const gui::Point at = learnButton.toRoot({0, 0});
        canvas.translate(at.x - here.x, at.y - here.y);
        learnButton.paintTree(canvas);
    }
    canvas.fillRect(statusFrame, gui::rgba(24, 26, 31, 240));
    canvas.fillRect({statusFrame.left, statusFrame.bottom - 1, statusFrame.right, statusFrame.bottom}, accent);
    canvas.drawText(*statusFont, statusText, gui::Rect{statusFrame.left + 8, statusFrame.top, statusFrame.right - 150,
                                                       statusFrame.bottom - 1},
                    EditorStyle::text);
    for (const Item& item : extras) {
        Drawing::plate(canvas, item.area, 3.0f, face, edge);
        canvas.drawText(*font, item.caption, item.area, EditorStyle::text, gui::Align::Center);
    }
    for (const Learnable& l : found) {
        canvas.frameRect(l.area, gui::withAlpha(accent, 150));
        const int c = controllerOf(l.id);
        const std::string number = c < 0 ? std::string("-") : std::to_string(c);
        const int w = std::max(9, gui::textWidth(*font, number) + 4);
        const gui::Rect badge{l.area.right - w, l.area.top, l.area.right, l.area.top + 9};
        canvas.fillRect(badge, c < 0 ? gui::rgba(60, 64, 72) : accent);
        canvas.drawText(*font, number, badge, c < 0 ? EditorStyle::text : gui::rgba(20, 20, 22), gui::Align::Center);
        if (l.id == chosen) {
            // Two pixels wide, two pixels outside the control.
            canvas.frameRect(l.area.inset(-3), EditorStyle::text);
            canvas.frameRect(l.area.inset(-4), EditorStyle::text);
        }
    }
}
