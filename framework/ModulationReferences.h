#pragma once

// How parameter set lists keep a modulation matrix in step when a set in
// the middle of a list is removed and the sets after it move down one place.
// Implemented by the plug-in's modulation matrix (through its controller, so
// every slot change goes through the parameters); GenericPlugin hands it out
// through getModulationReferences, null when the plug-in has no matrix.
// Called on the editor's thread inside an update batch.
class ModulationReferences {
public:
    // Clears every slot aimed at a target in [firstTarget, firstTarget + count).
    virtual void dropSlotsOnTargets(int firstTarget, int count) = 0;
    // Clears every slot driven by the source (and those aimed at the
    // source's own targets).
    virtual void dropSlotsOfSource(int source) = 0;
    // Every slot whose target t lies in [beginTarget, endTarget) gets t + delta.
    virtual void retargetSlots(int beginTarget, int endTarget, int delta) = 0;
    // Every slot whose source s lies strictly between afterSource and
    // endSource gets s + delta.
    virtual void renumberSources(int afterSource, int endSource, int delta) = 0;

protected:
    ~ModulationReferences() = default;
};
