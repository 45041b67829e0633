#pragma once

#include "framework/SourceParameterSetList.h"
#include "modulation/XLFOParameterSet.h"

// The list "XLFOs": six XLFO sets, 0 to 6 in use (none by default). XLFO n
// is modulation source n - 1 and owns targets 16 + 3(n-1) .. 18 + 3(n-1).
// Moving an XLFO (removing or inserting one in the middle) moves its steps
// with it.
class XLFOParameterSetList : public SourceParameterSetList<XLFOParameterSet> {
public:
    static constexpr const char* listName = "XLFOs";
    static constexpr int capacity = 6;
    static constexpr int firstSource = 0;
    static constexpr int firstTarget = 16;
    static constexpr int targetsPerSet = 3;

    // Registers "Num Active XLFOs" and then every set with its steps, and
    // configures them.
    explicit XLFOParameterSetList(GenericPlugin& plugin);

    void removeSet(int i) override;
    // As the list's insertion, with the steps.
    void insertSet(int i);
};
