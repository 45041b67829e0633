#include "gui/Component.h"

#include "gui/UserInterface.h"

namespace gui {

Component::Component(UserInterface& ui) : owner(ui) { owner.registerComponent(*this); }

Component::~Component() { owner.unregisterComponent(*this); }

} // namespace gui
