#include "editor/modulation/TargetModulation.h"

#include "editor/modulation/SourceController.h"
#include "effect/OstrandPlugin.h"
#include "framework/ParameterSetList.h"
#include "framework/Property.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"

#include <algorithm>
#include <cmath>

TargetModulation::TargetModulation(OstrandPlugin& owner, const SourceController& catalogue)
    : plugin(owner), sources(catalogue)
{
}

float TargetModulation::scaleOf(int target) const
{
    if (target < ModulationMatrix::firstLevelTarget)
        return 1.0f;
    const ModulationMatrix* matrix = plugin.getModulationMatrix();
    return matrix ? matrix->getSlotDepth(target - ModulationMatrix::firstLevelTarget) : 0.0f;
}

float TargetModulation::fractionOf(const ModulationTargetParameter& p, float targetValue) const
{
    const float scale = scaleOf(p.getTarget());
    if (std::fabs(scale) <= valueChangeEpsilon)
        return 0.0f;
    const float wanted = targetValue / scale;
    // The parameter's display maps its plain range monotonically onto the
    // target's units (a cut-off in log2 Hz, times through their curves), so
    // the plain value behind a target value is found by halving the range.
    float lo = p.getMin(), hi = p.getMax();
    const bool rising = p.targetValue(hi) >= p.targetValue(lo);
    for (int i = 0; i < 32; ++i) {
        const float mid = 0.5f * (lo + hi);
        if ((p.targetValue(mid) < wanted) == rising)
            lo = mid;
        else
            hi = mid;
    }
    return std::clamp(p.normalize(0.5f * (lo + hi)), 0.0f, 1.0f);
}

TargetSweep TargetModulation::sweep(const ModulationTargetParameter& p) const
{
    TargetSweep result;
    const ModulationMatrix* matrix = plugin.getModulationMatrix();
    const ModulationSlotParameterSetList* slots = plugin.getSlotList();
    const int target = p.getTarget();
    if (!matrix || !slots || !ModulationMatrix::isTarget(target))
        return result;
    const float scale = scaleOf(target);
    const float base = p.targetValue(p.getValue()) * scale;
    float low = base, high = base;
    for (int slot = 0; slot < slots->count(); ++slot) {
        const ModulationSlotParameterSet& set = (*slots)[slot];
        if (set.target.getTarget() != target || !matrix->isSlotValid(slot))
            continue;
        // A slot adds source x level x depth; the level's own modulation
        // is left out of the range shown.
        const float amount = set.level.getValue() * matrix->getSlotDepth(slot);
        const auto [from, to] = sources.outputRange(set.source.getSource());
        low += std::min(amount * from, amount * to);
        high += std::max(amount * from, amount * to);
        result.modulated = true;
    }
    if (!result.modulated)
        return result;
    if (target < ModulationMatrix::firstLevelTarget) {
        // The matrix holds every sum in the target's range.
        const ModulationMatrix::TargetEntry& entry = matrix->getTargetEntry(target);
        low = std::clamp(low, entry.minimum, entry.maximum);
        high = std::clamp(high, entry.minimum, entry.maximum);
    }
    result.low = fractionOf(p, low);
    result.high = fractionOf(p, high);
    if (result.low > result.high)
        std::swap(result.low, result.high);
    result.live = fractionOf(p, matrix->getTargetValue(target));
    return result;
}
