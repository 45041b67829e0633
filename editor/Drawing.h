#pragma once

#include "gui/Canvas.h"

// Shapes the editor draws that the canvas does not offer on its own.
namespace Drawing {

// A rectangle with rounded corners (radius in 1x units), filled or stroked
// along its inside edge; anti-aliased at any scale.
void fillRoundedRect(gui::Canvas& canvas, const gui::Rect& area, float radius, gui::Pixel colour);
void strokeRoundedRect(gui::Canvas& canvas, const gui::Rect& area, float radius, float width, gui::Pixel colour);

// A plate: filled face with a one-unit edge.
void plate(gui::Canvas& canvas, const gui::Rect& area, float radius, gui::Pixel face, gui::Pixel edge);

} // namespace Drawing
