#pragma once

#include "modulation/ModulationMatrix.h"

#include <array>

// Access to the slots, as the editor and the parameter set lists see them.
// Two implementations: InternalController works on the matrix's own records;
// ModMatrixParamController works on the plug-in's slot parameters, so every
// change goes through the parameter system (host, presets, undo) and reaches
// the matrix from there.
//
// The edits below (clearSlot, connect, sortSlots ...) are written once on top
// of the virtual operations and run between lock and unlock, which for the
// parameter controller is one update batch of the plug-in.
class ModulationMatrix::Controller {
public:
    explicit Controller(ModulationMatrix& matrix);
    virtual ~Controller();
    Controller(const Controller&) = delete;
    Controller& operator=(const Controller&) = delete;

    virtual void lock() = 0;
    virtual void unlock() = 0;
    virtual bool isBypassed(int slot) = 0;
    virtual bool isInverted(int slot) = 0;
    virtual float getLevel(int slot) = 0;
    // -1 for none.
    virtual int getSource(int slot) = 0;
    virtual int getTarget(int slot) = 0;
    // Clears out, then appends the slots that use the source.
    virtual void findSlotsUsingSource(int source, SlotList& out) = 0;
    // Clears out, then appends the slots aimed at the target.
    virtual void findSlotsOnTarget(int target, SlotList& out) = 0;
    virtual void setBypassed(int slot, bool bypassed) = 0;
    virtual void setInverted(int slot, bool inverted) = 0;
    virtual void setLevel(int slot, float level) = 0;
    virtual void setSource(int slot, int source) = 0;
    virtual void setTarget(int slot, int target) = 0;

    // lock() for the life of the object.
    class Lock {
    public:
        explicit Lock(Controller& c) : controller(c) { controller.lock(); }
        ~Lock() { controller.unlock(); }
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;

    private:
        Controller& controller;
    };

    // Empties the slot (no source, no target, level 0, not bypassed, not
    // inverted) and then, the same way, every slot aimed at its level.
    // Appends every slot it cleared to cleared when given.
    void clearSlot(int slot, SlotList* cleared = nullptr);
    // Clears the slots that use the source, then those aimed at one of the
    // source's own targets.
    void clearSlotsOfSource(int source);
    void clearSlotsOnTarget(int target);
    // Stable sort of slots 0..count-1 by source, then target, empty fields
    // last. Each exchange is one batch; *selected follows its slot.
    void sortSlots(int count, int* selected = nullptr);
    // Exchanges the two slots' fields; slots aimed at either slot's level
    // follow the slot they modulate.
    void swapSlots(int a, int b);
    // Sets all five fields of the slot in one batch.
    void connect(int slot, int source, int target, bool inverted, bool bypassed, float level);

    // The loop check, on this controller's view of the slots: the targets
    // that slot i modulates indirectly — its own level, its source's own
    // targets, and recursively the levels and own targets of every slot
    // aimed at a target already reached. The slot is valid only when its
    // target is not among them.
    const TargetList& collectClosure(int slot);
    // Fully set, not bypassed, and its target outside its closure.
    bool isValidConnection(int slot);

    ModulationMatrix& getMatrix() const { return matrix; }

protected:
    ModulationMatrix& matrix;

private:
    void clearSlotLocked(int slot, SlotList* cleared, int depth);
    void addToClosure(int target);

    // Scratch of the loop check, kept here so checking allocates nothing.
    TargetList closure;
    std::array<bool, numTargets> inClosure{};
};
