#pragma once

#include "framework/IndexedPluginParameter.h"
#include "framework/PluginParameterSet.h"
#include "modulation/ModulationTargetParameter.h"

#include <string>

class ModulationMatrix;
class ModulationMatrixParameterSet;
class ModulationMatrixPlugin;

// The five parameters of modulation slot i, in host order: "Slot n Source",
// "Slot n Level", "Slot n Bypassed", "Slot n Inverted", "Slot n Target"
// (n = i + 1). Stored as parameters so the host, presets and undo see the
// slots; each forwards its value into the matrix when the value reaches the
// audio thread, exactly as the matrix's own controller would set it.
//
// Source and target are stored one higher than the matrix counts them:
// position 0 is none ("< Source >", "< Target >").
class ModulationSlotParameterSet : public PluginParameterSet {
public:
    // A parameter that knows its slot.
    template <typename T> class Parameter : public IndexedPluginParameter<T> {
    public:
        Parameter(ModulationSlotParameterSet& owner, std::string name)
            : IndexedPluginParameter<T>(&owner, std::move(name)), set(owner)
        {
        }
        ModulationSlotParameterSet& getSet() const { return set; }
        int getSlotIndex() const { return set.getSlotIndex(); }

    protected:
        ModulationMatrix* matrix() const { return set.getMatrix(); }

    private:
        ModulationSlotParameterSet& set;
    };

    class SourceParameter : public Parameter<int> {
    public:
        using Parameter::Parameter;
        void updateProperties(float plain) override;
        std::string valueToText(float plain) const override;
        // -1 for none.
        int getSource() const { return getTypedValue() - 1; }
    };

    class TargetParameter : public Parameter<int> {
    public:
        using Parameter::Parameter;
        void updateProperties(float plain) override;
        std::string valueToText(float plain) const override;
        int getTarget() const { return getTypedValue() - 1; }
    };

    class BypassParameter : public Parameter<bool> {
    public:
        using Parameter::Parameter;
        void updateProperties(float plain) override;
    };

    class InvertParameter : public Parameter<bool> {
    public:
        using Parameter::Parameter;
        void updateProperties(float plain) override;
    };

    // The plug-in is normally a ModulationMatrixPlugin; any other leaves the
    // slot's parameters without a matrix to forward to.
    ModulationSlotParameterSet(GenericPlugin& plugin, int slotIndex);

    // Ranges (sources 0..26, targets 0..95), options and defaults: an
    // empty slot at level 0.
    void configureParameters() override;

    int getSlotIndex() const { return slot; }
    ModulationMatrixPlugin* getMatrixPlugin() const { return matrixPlugin; }
    // Null while the plug-in has not built its matrix.
    ModulationMatrix* getMatrix() const;
    // The option names shared by all slots (owned by the slot list).
    void setNames(const ModulationMatrixParameterSet* shared) { names = shared; }
    const ModulationMatrixParameterSet* getNames() const { return names; }

private:
    ModulationMatrixPlugin* matrixPlugin;
    int slot;
    const ModulationMatrixParameterSet* names = nullptr;

public:
    SourceParameter source;
    ModulationTargetParameter level;
    BypassParameter bypass;
    InvertParameter invert;
    TargetParameter target;
};
