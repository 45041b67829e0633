#include "editor/modulation/SourceController.h"

#include "effect/OstrandPlugin.h"
#include "modulation/MidiModSource.h"

#include <cmath>

namespace {

constexpr int firsts[] = {0, 6, 12, 16, 26};

} // namespace

SourceController::SourceController(OstrandPlugin& plugin) : owner(plugin) {}

int SourceController::kindOf(int source)
{
    for (int kind = 0; kind < kindCount; ++kind)
        if (source >= firsts[kind] && source < firsts[kind + 1])
            return kind;
    return -1;
}

int SourceController::firstOf(int kind) { return kind >= 0 && kind < kindCount ? firsts[kind] : 0; }

int SourceController::capacityOf(int kind) { return kind >= 0 && kind < kindCount ? firsts[kind + 1] - firsts[kind] : 0; }

const char* SourceController::kindName(int kind)
{
    static const char* const names[] = {"XLFO", "Envelope Generator", "Envelope Follower", "MIDI Source"};
    return kind >= 0 && kind < kindCount ? names[kind] : "";
}

AbstractParameterSetList& SourceController::list(int kind) const
{
    switch (kind) {
    case eg:
        return owner.egs;
    case ef:
        return owner.efs;
    case midi:
        return owner.midiSources;
    default:
        return owner.xlfos;
    }
}

int SourceController::activeCount(int kind) const { return list(kind).getNumActive(); }

bool SourceController::isActive(int source) const
{
    const int kind = kindOf(source);
    return kind >= 0 && placeOf(source) < activeCount(kind);
}

std::vector<int> SourceController::activeSources() const
{
    std::vector<int> result;
    for (int kind = 0; kind < kindCount; ++kind)
        for (int i = 0; i < activeCount(kind); ++i)
            result.push_back(firstOf(kind) + i);
    return result;
}

std::string SourceController::name(int source) const
{
    static const char* const words[] = {"XLFO ", "EG ", "EF ", "MIDI Source "};
    const int kind = kindOf(source);
    return kind < 0 ? std::string() : words[kind] + std::to_string(placeOf(source) + 1);
}

std::string SourceController::shortName(int source)
{
    static const char* const letters[] = {"X", "E", "F", "M"};
    const int kind = kindOf(source);
    return kind < 0 ? std::string() : letters[kind] + std::to_string(placeOf(source) + 1);
}

std::string SourceController::compactName(int source)
{
    static const char* const words[] = {"XLFO ", "EG ", "EF ", "MIDI "};
    const int kind = kindOf(source);
    return kind < 0 ? std::string() : words[kind] + std::to_string(placeOf(source) + 1);
}

std::pair<float, float> SourceController::outputRange(int source) const
{
    switch (kindOf(source)) {
    case xlfo:
        return {-1.0f, 1.0f};
    case eg:
    case ef:
        return {0.0f, 1.0f};
    case midi: {
        using Input = MidiModSource::MidiInput;
        const auto input = static_cast<Input>(std::lround(owner.midiSources[placeOf(source)].input.getValue()));
        switch (input) {
        case Input::PitchBend:
        case Input::Velocity:
            return {-1.0f, 1.0f};
        case Input::KBTrack:
            // Note 0 to note 127 around note 48.
            return {-48.0f / 120.0f, 79.0f / 120.0f};
        default:
            return {0.0f, 1.0f};
        }
    }
    default:
        return {0.0f, 0.0f};
    }
}

bool SourceController::add(int kind)
{
    static const OstrandPlugin::ComponentKind kinds[] = {OstrandPlugin::xlfoKind, OstrandPlugin::egKind,
                                                         OstrandPlugin::efKind, OstrandPlugin::midiKind};
    return kind >= 0 && kind < kindCount && owner.addSource(kinds[kind]);
}

void SourceController::remove(int source)
{
    if (isActive(source))
        list(kindOf(source)).removeSet(placeOf(source));
}
