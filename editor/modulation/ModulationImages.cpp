#include "editor/modulation/ModulationImages.h"

#include "editor/EditorImages.h"
#include "editor/modulation/ModulationStyle.h"
#include "gui/BitmapFiler.h"

ModulationImages::ModulationImages()
{
    gui::loadBitmap(knobSmall, "KnobSmall.png");
    gui::loadBitmap(slotAdd, "SlotAdd.png");
    gui::loadBitmap(slotDrop, "SlotDrop.png");
    gui::loadBitmap(slotRemove, "SlotRemove.png");
    gui::loadBitmap(slotShowAll, "SlotShowAll.png");
    gui::loadBitmap(slotSort, "SlotSort.png");
    gui::loadBitmap(slotWarning, "SlotWarning.png");
    gui::Bitmap drag;
    gui::loadBitmap(drag, "SourceDrag.png");
    for (std::size_t kind = 0; kind < dragButton.size(); ++kind)
        tintBitmap(dragButton[kind], drag, ModulationStyle::sourceColours[kind]);
    gui::Bitmap die;
    gui::loadBitmap(die, "StepRandom.png");
    tintBitmap(randomStep, die, ModulationStyle::sourceColours[0]);
}
