#pragma once

#include "gui/Bitmap.h"

#include <array>

// The modulation area's images, decoded when an editor opens (after the
// frame has added the editor's image table). The drag button and the random
// step's die are white: each source kind gets its own tinted copy.
struct ModulationImages {
    ModulationImages();

    gui::Bitmap knobSmall;
    gui::Bitmap slotAdd;
    gui::Bitmap slotDrop;
    gui::Bitmap slotRemove;
    gui::Bitmap slotShowAll;
    gui::Bitmap slotSort;
    gui::Bitmap slotWarning;
    // Per source kind (XLFO, EG, EF, MIDI).
    std::array<gui::Bitmap, 4> dragButton;
    gui::Bitmap randomStep;
};
