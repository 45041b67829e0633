#pragma once

#include <string>
#include <utility>
#include <vector>

class AbstractParameterSetList;
class OstrandPlugin;

// The effect's modulation sources as the editor sees them: which kind each
// of the 26 sources is, which parameter set list holds it, whether it is in
// use, its name, and the range its output covers. Adding and removing a
// source goes through the lists (and the plug-in), so presets, undo and the
// slots that use the source follow.
class SourceController {
public:
    // The kinds, numbered as the matrix numbers its source types.
    enum Kind { xlfo = 0, eg = 1, ef = 2, midi = 3 };
    static constexpr int kindCount = 4;
    static constexpr int sourceCount = 26;

    explicit SourceController(OstrandPlugin& plugin);

    static int kindOf(int source);
    static int firstOf(int kind);
    static int capacityOf(int kind);
    // The source's place in its list (XLFO 3 is 2).
    static int placeOf(int source) { return source - firstOf(kindOf(source)); }
    // The words of the Add Source menu: "XLFO", "Envelope Generator", ...
    static const char* kindName(int kind);

    AbstractParameterSetList& list(int kind) const;
    int activeCount(int kind) const;
    bool isActive(int source) const;
    // The sources in use, in source order.
    std::vector<int> activeSources() const;

    // "XLFO 1", "EG 2", "EF 1", "MIDI Source 3"; and a short form for
    // narrow places ("X1", "E2", "F1", "M3").
    std::string name(int source) const;
    static std::string shortName(int source);
    // The name where a panel's title or a slot's button has little room:
    // "MIDI 1" for "MIDI Source 1", the others as they are.
    static std::string compactName(int source);

    // The lowest and highest value the source's output takes: a step LFO
    // swings -1..1, envelopes 0..1, a MIDI source as its input does.
    std::pair<float, float> outputRange(int source) const;

    // One more source of a kind, with the kind's "Default" section preset
    // when the user has one; false when the kind is full.
    bool add(int kind);
    // Removes a source in use; the slots that use it are cleared and the
    // later sources of its kind move down one place.
    void remove(int source);

    OstrandPlugin& plugin() const { return owner; }

private:
    OstrandPlugin& owner;
};
