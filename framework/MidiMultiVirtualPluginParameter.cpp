#include "framework/MidiMultiVirtualPluginParameter.h"

#include "framework/AbstractPluginParameter.h"
#include "framework/Property.h"

#include <algorithm>
#include <cmath>

MidiMultiVirtualPluginParameter::MidiMultiVirtualPluginParameter(GenericPlugin& plugin, std::string name,
                                                                 int capacity)
    : MidiVirtualPluginParameter(plugin, std::move(name))
{
    const auto n = static_cast<std::size_t>(std::max(capacity, 1));
    linked.reserve(n);
    targetOffsets.reserve(n);
    observedOffsets.reserve(n);
}

float MidiMultiVirtualPluginParameter::mean() const
{
    float sum = 0.0f;
    for (const AbstractPluginParameter* p : linked)
        sum += p->getNormalized();
    return linked.empty() ? 0.0f : sum / static_cast<float>(linked.size());
}

void MidiMultiVirtualPluginParameter::restartOffsets()
{
    const float m = mean();
    for (std::size_t i = 0; i < linked.size(); ++i)
        targetOffsets[i] = observedOffsets[i] = linked[i]->getNormalized() - m;
}

void MidiMultiVirtualPluginParameter::addLinked(AbstractPluginParameter* parameter)
{
    if (!parameter || isLinked(parameter))
        return;
    linked.push_back(parameter);
    targetOffsets.push_back(0.0f);
    observedOffsets.push_back(0.0f);
    restartOffsets();
}

void MidiMultiVirtualPluginParameter::removeLinked(AbstractPluginParameter* parameter)
{
    auto it = std::find(linked.begin(), linked.end(), parameter);
    if (it == linked.end())
        return;
    auto i = it - linked.begin();
    linked.erase(it);
    targetOffsets.erase(targetOffsets.begin() + i);
    observedOffsets.erase(observedOffsets.begin() + i);
    restartOffsets();
}

bool MidiMultiVirtualPluginParameter::isLinked(const AbstractPluginParameter* parameter) const
{
    return std::find(linked.begin(), linked.end(), parameter) != linked.end();
}

void MidiMultiVirtualPluginParameter::setNormalized(float x)
{
    if (linked.empty() || std::isnan(x))
        return;
    float m = mean();
    for (std::size_t i = 0; i < linked.size(); ++i) {
        const float offset = linked[i]->getNormalized() - m;
        if (std::fabs(offset - observedOffsets[i]) > valueChangeEpsilon)
            targetOffsets[i] = offset;
    }
    for (std::size_t i = 0; i < linked.size(); ++i) {
        AbstractPluginParameter* p = linked[i];
        p->setValue(p->denormalize(std::clamp(targetOffsets[i] + x, 0.0f, 1.0f)), 0);
    }
    m = mean();
    for (std::size_t i = 0; i < linked.size(); ++i)
        observedOffsets[i] = linked[i]->getNormalized() - m;
}
