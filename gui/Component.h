#pragma once

#include "framework/Property.h"

namespace gui {

class UserInterface;

// Anything owned by a user interface: registers itself with it when made and
// unregisters when destroyed, so the interface never holds on to a component
// that is gone (capture, hover, focus, queued updates, running timers).
class Component : public PropertyOwner {
public:
    explicit Component(UserInterface& ui);
    virtual ~Component();
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;

    UserInterface& userInterface() const { return owner; }

    void propertyChanged(PropertyBase&) override {}

private:
    UserInterface& owner;
};

} // namespace gui
