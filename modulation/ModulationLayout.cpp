#include "modulation/ModulationLayout.h"

#include "framework/ParameterText.h"

#include <algorithm>
#include <cmath>

namespace {

using Kind = ModulationMatrix::TargetKind;
constexpr int XLFO = ModulationMatrix::XLFOType;
constexpr int EG = ModulationMatrix::EGType;
constexpr int EF = ModulationMatrix::EFType;

// Gains span ±36 dB: e^±4.144653167389283.
const float gainMaximum = static_cast<float>(std::exp(4.144653167389283));
const float gainMinimum = static_cast<float>(std::exp(-4.144653167389283));
// The shortest envelope time: 64 samples at 44.1 kHz.
constexpr float shortestTime = 0.0014512470f;

Kind kind(float minimum, float maximum, float depth, std::vector<std::pair<int, float>> depths)
{
    Kind k;
    k.defaultDepth = depth;
    k.rampRange = 0.0f;
    k.type = 0;
    k.maximum = maximum;
    k.minimum = minimum;
    k.depths = std::move(depths);
    return k;
}

constexpr ModulationTargetGroup standardGroups[] = {
    {0, 4, 4, {1, 2, 3, 4, 0}, -1, false, "Filter ", "Freq,Pan,Peak,Delay"},
    {16, 6, 3, {5, 6, 7, 0, 0}, 0, false, "XLFO ", "Freq,Offset,Glide"},
    {34, 6, 4, {10, 12, 0, 13, 0}, 6, false, "EG ", "Attack,Decay,Sustain,Release"},
    {58, 4, 2, {11, 14, 0, 0, 0}, 12, false, "EF ", "Attack,Release"},
    {66, 1, 5, {8, 9, 8, 9, 9}, -1, false, "", "Input Gain,Input Pan,Output Gain,Output Pan,Mix"},
    {71, 24, 1, {0, 0, 0, 0, 0}, -1, true, "Slot ", "Level"},
};

} // namespace

std::vector<ModulationMatrix::TargetKind> ModulationLayout::standardKinds()
{
    const float gainSpan = gainMaximum - gainMinimum;
    return {
        kind(0.0f, 1.0f, 1.0f, {{EF, 2.0f}}),
        kind(2.2666f, 16.2064f, 10.0f, {{XLFO, 6.3f}, {EF, 20.0f}}),
        kind(-3.5f, 3.5f, 7.0f, {{XLFO, 6.3f}, {EG, 10.0f}, {EF, 14.0f}}),
        kind(0.0f, 1.0f, 1.0f, {{XLFO, 0.4f}, {EG, 0.4f}, {EF, 2.0f}}),
        kind(0.0f, 50.0f, 50.0f, {{EF, 100.0f}}),
        kind(0.02f, 500.0f, 25.0f, {{EF, 50.0f}}),
        kind(-0.5f, 2.0f, 1.0f, {{XLFO, 0.5f}, {EF, 1.5f}}),
        kind(-1.0f, 1.0f, 2.0f, {{EF, 4.0f}}),
        kind(gainMinimum, gainMaximum, gainSpan, {{EF, 2.0f * gainSpan}}),
        kind(-1.0f, 1.0f, 2.0f, {{EF, 4.0f}}),
        kind(shortestTime, 3.0f, 1.5f, {{EF, 3.0f}}),
        kind(0.001f, 1.0f, 0.4995f, {{EF, 0.999f}}),
        kind(shortestTime, 5.0f, 2.5f, {{EF, 5.0f}}),
        kind(shortestTime, 5.0f, 2.5f, {{EF, 5.0f}}),
        kind(0.05f, 5.0f, 2.475f, {{EF, 4.95f}}),
    };
}

std::span<const ModulationTargetGroup> ModulationLayout::standardTargets()
{
    return standardGroups;
}

void ModulationLayout::registerTargets(ModulationMatrix& matrix,
                                       std::span<const ModulationTargetGroup> groups,
                                       const std::vector<ModulationMatrix::TargetKind>& kinds)
{
    std::vector<int> kindIndex;
    kindIndex.reserve(kinds.size());
    for (const auto& k : kinds)
        kindIndex.push_back(matrix.addKind(k));
    for (const ModulationTargetGroup& group : groups) {
        for (int n = 0; n < group.owners; ++n) {
            for (int j = 0; j < group.perOwner && j < static_cast<int>(group.kinds.size()); ++j) {
                const int target = group.firstTarget + n * group.perOwner + j;
                const int k = group.kinds[static_cast<std::size_t>(j)];
                if (k >= 0 && k < static_cast<int>(kindIndex.size()))
                    matrix.registerTarget(target, kindIndex[static_cast<std::size_t>(k)]);
                if (group.firstSource >= 0)
                    matrix.addOwnTarget(group.firstSource + n, target);
                if (group.slotLevels)
                    matrix.setSlotLevelTarget(n, target);
            }
        }
    }
}

void ModulationLayout::registerStandard(ModulationMatrix& matrix)
{
    registerTargets(matrix, standardTargets(), standardKinds());
}

std::vector<std::string> ModulationLayout::targetNames(std::span<const ModulationTargetGroup> groups,
                                                       int targetCount)
{
    std::vector<std::string> names(static_cast<std::size_t>(std::max(targetCount, 0)) + 1);
    names[0] = "< Target >";
    for (const ModulationTargetGroup& group : groups) {
        const std::vector<std::string> words = splitOptionList(group.words);
        const std::string prefix = group.prefix;
        for (int n = 0; n < group.owners; ++n) {
            for (int j = 0; j < group.perOwner && j < static_cast<int>(words.size()); ++j) {
                const int target = group.firstTarget + n * group.perOwner + j;
                if (target < 0 || target >= targetCount)
                    continue;
                const std::string& word = words[static_cast<std::size_t>(j)];
                names[static_cast<std::size_t>(target) + 1] =
                    prefix.empty() ? word : prefix + std::to_string(n + 1) + " " + word;
            }
        }
    }
    return names;
}

std::vector<std::string> ModulationLayout::sourceNames()
{
    std::vector<std::string> names{"< Source >"};
    const std::pair<const char*, int> types[] = {{"XLFO ", 6}, {"EG ", 6}, {"EF ", 4}, {"MIDI Source ", 10}};
    for (const auto& [prefix, count] : types)
        for (int n = 1; n <= count; ++n)
            names.push_back(prefix + std::to_string(n));
    return names;
}
