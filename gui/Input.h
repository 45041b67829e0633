#pragma once

#include <string>

namespace gui {

// Modifier and button bits of every mouse call.
namespace Modifier {
inline constexpr int Shift = 0x01;
inline constexpr int Alt = 0x02;
inline constexpr int Control = 0x04;
inline constexpr int LeftButton = 0x08;
inline constexpr int RightButton = 0x10;
inline constexpr int MiddleButton = 0x20;
inline constexpr int DoubleClick = 0x40;
// A fourth modifier key; the X11 window sets it for the Super (logo) key.
inline constexpr int Extra = 0x80;
// The keys (not buttons) among the bits.
inline constexpr int Keys = Shift | Alt | Control | Extra;
} // namespace Modifier

enum class MouseButton { Left, Right, Middle };

// Keys that are not text; Character: the key typed KeyEvent::text.
enum class KeyCode { Character, Backspace, Delete, Enter, Escape, Tab, Left, Right, Up, Down, Home, End, PageUp, PageDown };

// One key press: a key that is not text, or the UTF-8 text it types.
struct KeyEvent {
    KeyCode code = KeyCode::Character;
    std::string text;
    int modifiers = 0;
};

} // namespace gui
