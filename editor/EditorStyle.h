#pragma once

#include "gui/Pixel.h"
#include "gui/Text.h"

#include <array>

// The editor's colours and type, in one place so every panel speaks the same
// visual language: a dark, quiet surface, light text for what matters, dim
// text for captions, one warm accent, and a colour of its own for each
// filter (its dot, its curve, its tab).
namespace EditorStyle {

using gui::Pixel;
using gui::rgba;

inline constexpr Pixel text = rgba(214, 218, 225);
inline constexpr Pixel dimText = rgba(124, 132, 145);
inline constexpr Pixel faintText = rgba(88, 95, 106);
inline constexpr Pixel accent = rgba(232, 163, 60);

// Buttons and switches.
inline constexpr Pixel face = rgba(44, 48, 56);
inline constexpr Pixel faceHover = rgba(54, 59, 68);
inline constexpr Pixel facePressed = rgba(34, 37, 43);
inline constexpr Pixel faceOn = rgba(70, 62, 48);
inline constexpr Pixel edge = rgba(62, 67, 77);
inline constexpr Pixel edgeOn = rgba(150, 112, 52);
inline constexpr Pixel well = rgba(22, 24, 28);

// Knobs.
inline constexpr Pixel knobTrack = rgba(48, 52, 60);
inline constexpr Pixel knobPointer = rgba(236, 238, 242);

// The filter display.
inline constexpr Pixel gridLine = rgba(34, 38, 46);
inline constexpr Pixel gridDecade = rgba(48, 54, 64);
inline constexpr Pixel gridText = rgba(86, 94, 108);
inline constexpr Pixel flatLine = rgba(52, 58, 70);
inline constexpr Pixel linkLine = rgba(200, 206, 216, 110);

// Filter 1 to 4: amber, teal, periwinkle, rose; bright enough on the dark
// field, far enough apart to tell at a glance.
inline constexpr std::array<Pixel, 4> filterColours = {rgba(240, 166, 64), rgba(63, 200, 184), rgba(143, 156, 247),
                                                       rgba(240, 111, 140)};

// Captions on plates and buttons, values, and the help hints.
inline gui::Font captionFont() { return {"DejaVu Sans Condensed", 6, true, false}; }
inline gui::Font labelFont() { return {"DejaVu Sans Condensed", 7, true, false}; }
inline gui::Font valueFont() { return {"DejaVu Sans Condensed", 7, false, false}; }
inline gui::Font hintFont() { return {"DejaVu Sans", 7, false, false}; }
inline gui::Font titleFont() { return {"DejaVu Sans", 9, true, false}; }

} // namespace EditorStyle
