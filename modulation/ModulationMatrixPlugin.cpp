#include "modulation/ModulationMatrixPlugin.h"

#include "framework/ModulationReferences.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"

// The set lists' hooks, carried out as slot edits through the parameters.
class ModulationMatrixPlugin::References final : public ModulationReferences {
public:
    explicit References(ModulationMatrixPlugin& owner) : plugin(owner) {}

    void dropSlotsOnTargets(int firstTarget, int count) override
    {
        ModulationMatrix::Controller& c = controller();
        ModulationMatrix::Controller::Lock lock(c);
        for (int t = firstTarget; t < firstTarget + count; ++t)
            c.clearSlotsOnTarget(t);
    }

    void dropSlotsOfSource(int source) override { controller().clearSlotsOfSource(source); }

    void retargetSlots(int beginTarget, int endTarget, int delta) override
    {
        ModulationMatrix::Controller& c = controller();
        ModulationMatrix::Controller::Lock lock(c);
        for (int slot = 0; slot < ModulationMatrix::numSlots; ++slot) {
            const int t = c.getTarget(slot);
            if (t >= beginTarget && t < endTarget)
                c.setTarget(slot, t + delta);
        }
    }

    void renumberSources(int afterSource, int endSource, int delta) override
    {
        ModulationMatrix::Controller& c = controller();
        ModulationMatrix::Controller::Lock lock(c);
        for (int slot = 0; slot < ModulationMatrix::numSlots; ++slot) {
            const int s = c.getSource(slot);
            if (s > afterSource && s < endSource)
                c.setSource(slot, s + delta);
        }
    }

private:
    // Only handed out once the controller exists.
    ModulationMatrix::Controller& controller() { return *plugin.getParamController(); }

    ModulationMatrixPlugin& plugin;
};

ModulationMatrixPlugin::ModulationMatrixPlugin(int graphBlockSize)
    : GenericPlugin(graphBlockSize), references(std::make_unique<References>(*this))
{
}

ModulationMatrixPlugin::~ModulationMatrixPlugin() = default;

void ModulationMatrixPlugin::beginApplyingChanges()
{
    if (ModulationMatrix* matrix = getModulationMatrix())
        matrix->holdDerivation();
}

void ModulationMatrixPlugin::endApplyingChanges()
{
    if (ModulationMatrix* matrix = getModulationMatrix())
        matrix->releaseDerivation();
}

float ModulationMatrixPlugin::getSourceLevel(int)
{
    return 0.0f;
}

ModulationReferences* ModulationMatrixPlugin::getModulationReferences()
{
    return getParamController() ? references.get() : nullptr;
}

ModulationSlotParameterSetList& ModulationMatrixPlugin::createSlotList()
{
    if (!slotList) {
        slotList = std::make_unique<ModulationSlotParameterSetList>(*this);
        slotList->configureSets();
    }
    return *slotList;
}

ModMatrixParamController* ModulationMatrixPlugin::getParamController()
{
    if (!paramController && slotList) {
        if (ModulationMatrix* matrix = getModulationMatrix())
            paramController = std::make_unique<ModMatrixParamController>(*this, *matrix, *slotList);
    }
    return paramController.get();
}

int ModulationMatrixPlugin::addConnection(int source, int target, std::string* message, float level)
{
    ModMatrixParamController* controller = getParamController();
    if (!controller)
        return -1;
    const int slot = slotList->getNumActive();
    if (slot >= slotList->getMaxActive() || slot >= slotList->count()) {
        if (message)
            *message = noFreeSlotsMessage;
        return -1;
    }
    Batch batch(*this);
    slotList->getNumActiveParameter().setValue(static_cast<float>(slot + 1), 0);
    controller->connect(slot, source, target, false, false, level);
    return slot;
}
