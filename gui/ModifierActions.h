#pragma once

namespace gui {

// What a modifier combination asks of a value control. Bits.
namespace Action {
inline constexpr int Reset = 1;     // back to the default value
inline constexpr int Fine = 2;      // fine adjustment
inline constexpr int Alternate = 4; // the editor's alternate action (move linked controls together)
} // namespace Action

// The process-wide table from modifier combinations (gui::Modifier key bits)
// to action bits, shared by every editor of the process. Defaults: Ctrl
// resets, Shift adjusts finely, Alt is the alternate action, Shift+Alt both
// fine and alternate. The host convention moves them to Alt, Ctrl, Shift
// and Shift+Ctrl.
namespace ModifierActions {

// The action bits of the event's modifiers: the first pair whose combination
// equals the flags masked to the four modifier keys, else 0.
int lookup(int modifiers);

// Gives `action` (a value such as Action::Fine | Action::Alternate) the
// combination `modifiers`, replacing the pair that holds that action, or
// adding one.
void set(int action, int modifiers);

// Switches between the default table and the host's conventions.
void useHostShortcuts(bool on);

} // namespace ModifierActions

} // namespace gui
