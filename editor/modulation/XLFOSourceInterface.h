#pragma once

#include "editor/modulation/SourceInterface.h"

class XLFOController;

// The panel of an XLFO: Freq, Offset, Glide and Balance, the sync mode and
// the MIDI trigger on the left, the step editor on the right. While steps
// are selected, the step interface takes the place of the knobs.
class XLFOSourceInterface : public SourceInterface {
public:
    static constexpr int panelWidth = 368;
    static constexpr gui::Rect stepFrame = {172, 0, 366, panelHeight};
    static constexpr gui::Rect stepInterfaceFrame = {0, headerHeight, 170, panelHeight};

    XLFOSourceInterface(gui::Control& parent, ModulationInterface& area, int source);

    XLFOController& steps() const { return *editor; }
    void update() override;

private:
    XLFOController* editor = nullptr;
};
