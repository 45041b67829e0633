#pragma once

#include "framework/MidiVirtualPluginParameter.h"

#include <vector>

class AbstractPluginParameter;

// Moves several real parameters together, keeping their spacing. Each linked
// parameter keeps two offsets from the group's mean normalized value: the
// one it should have (its target offset) and the one it had after its last
// move. A parameter moved on its own since gets its new spacing as target;
// the others keep theirs even after being pushed against either end of the
// range, so the spacing comes back when the group moves away from the end.
//
// Links are made and undone on the audio thread (when a filter's link
// switch reaches the DSP); within the reserved capacity that allocates
// nothing.
class MidiMultiVirtualPluginParameter : public MidiVirtualPluginParameter {
public:
    MidiMultiVirtualPluginParameter(GenericPlugin& plugin, std::string name, int capacity = 16);

    void setNormalized(float x) override;

    // Links a parameter (once); all offsets restart from the present spacing.
    void addLinked(AbstractPluginParameter* parameter);
    void removeLinked(AbstractPluginParameter* parameter);
    bool isLinked(const AbstractPluginParameter* parameter) const;
    int getLinkedCount() const { return static_cast<int>(linked.size()); }

private:
    float mean() const;
    void restartOffsets();

    std::vector<AbstractPluginParameter*> linked;
    std::vector<float> targetOffsets;
    std::vector<float> observedOffsets;
};
