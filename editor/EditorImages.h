#pragma once

#include "gui/Bitmap.h"

// The editor's images, decoded from the module when an editor opens; each
// comes with its double-size version for screens drawn at scale 2. The dot
// images are white: the filter display tints them with each filter's colour.
struct EditorImages {
    // Adds the editor's image table to the module's resources (once per
    // process) and decodes every image; a damaged one throws gui::EBitmap.
    EditorImages();

    gui::Bitmap background;
    gui::Bitmap knobBody;
    gui::Bitmap undo;
    gui::Bitmap redo;
    gui::Bitmap previous;
    gui::Bitmap next;
    gui::Bitmap hintPanel;
    gui::Bitmap peak;
    gui::Bitmap peakActive;
    gui::Bitmap selected;
    gui::Bitmap selectedActive;
    gui::Bitmap mid;
    gui::Bitmap midActive;
};

// A copy of `image` (and of its double-size version) with every pixel's
// colour multiplied by `tint`, alpha kept.
void tintBitmap(gui::Bitmap& target, const gui::Bitmap& image, gui::Pixel tint);
