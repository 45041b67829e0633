#pragma once

#include "gui/Pixel.h"

#include <array>

// The modulation area's own colours, beside the editor's (EditorStyle): one
// per kind of source, so a source's button, panel, cable and the slots it
// feeds read as one thing; and the marks that show modulation on a knob.
namespace ModulationStyle {

using gui::Pixel;
using gui::rgba;

// Step LFOs green, envelope generators blue, envelope followers violet,
// MIDI sources yellow: apart from each other and from the filters' colours.
inline constexpr std::array<Pixel, 4> sourceColours = {rgba(134, 204, 112), rgba(94, 168, 240), rgba(192, 140, 236),
                                                       rgba(226, 198, 92)};

// The range a knob's modulation sweeps, and its live value.
inline constexpr Pixel sweep = rgba(236, 238, 244, 120);
inline constexpr Pixel live = rgba(250, 251, 253);

// The strip's and the slot area's wells.
inline constexpr Pixel panelFace = rgba(31, 34, 40);
inline constexpr Pixel panelEdge = rgba(46, 50, 58);
inline constexpr Pixel stripWell = rgba(19, 21, 25);

} // namespace ModulationStyle
