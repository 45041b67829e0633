#pragma once

#include "modulation/ModulationMatrixController.h"

// Reads and writes the matrix's own slot records, bypassing the parameters:
// the view the matrix checks its loops with. Its setters change the audio
// path at once, so outside the matrix's own use they are for the thread that
// owns the matrix while it does not process (building, tests, offline).
// lock and unlock do nothing.
class InternalController : public ModulationMatrix::Controller {
public:
    explicit InternalController(ModulationMatrix& owner) : Controller(owner) {}

    void lock() override {}
    void unlock() override {}
    bool isBypassed(int slot) override;
    bool isInverted(int slot) override;
    // The base value of the slot's level target.
    float getLevel(int slot) override;
    int getSource(int slot) override;
    int getTarget(int slot) override;
    // In the order the slots were attached.
    void findSlotsUsingSource(int source, ModulationMatrix::SlotList& out) override;
    void findSlotsOnTarget(int target, ModulationMatrix::SlotList& out) override;
    void setBypassed(int slot, bool bypassed) override;
    void setInverted(int slot, bool inverted) override;
    void setLevel(int slot, float level) override;
    void setSource(int slot, int source) override;
    void setTarget(int slot, int target) override;
};
