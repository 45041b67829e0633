#pragma once

#include "filters/WeightedSource.h"
#include "framework/Property.h"

// Sends one of several inputs on, or a weighted sum of them while it moves
// from one to another: the audition switch, the stereo / mid-side switch,
// the bypass switch of a routed filter.
//
// Output = sum of input · gain. Inputs whose gain is constantly 0 are not
// pulled; when exactly one input contributes with a constant gain of 1, the
// output is that input's own block (no copy). Each input has its own
// smoothed gain; the selection glides the chosen input's gain to 1 and the
// others to 0 with the automatic ramp time (20 ms for a full switch), while
// the selection given at construction holds at once.
// A gain set with setGain holds until the next selection.
class Router : public WeightedSource, public PropertyOwner {
public:
    // Control thread, while building.
    Router(wave::Graph& graph, int numInputs = 2, int selected = 0);
    ~Router() override;

    // The input that passes; clamped to the inputs. Audio thread (parameter
    // changes) or control thread while building.
    Property<int> selection;

    int getInputCount() const { return storedInputs(); }
    // Selects an input with a ramp time of its own (0: at once).
    void select(int index, float timeMs);

    // Audio thread. With OutputNotNeeded nothing is pulled or computed.
    int process(wave::Block& target, int numSamples, int flags) override;

    void propertyChanged(PropertyBase& property) override;

private:
    void applySelection(float timeMs);
};
