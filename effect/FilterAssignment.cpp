#include "effect/FilterAssignment.h"

#include <algorithm>

namespace {

bool splits(RoutingMode mode, bool twoChannels)
{
    return twoChannels && mode != RoutingMode::Stereo;
}

} // namespace

int FilterAssignment::countFor(RoutingMode mode, int numActive, bool twoChannels)
{
    numActive = std::clamp(numActive, 1, maxFilters);
    if (!splits(mode, twoChannels))
        return numActive;
    return std::max(2, numActive & ~1);
}

int FilterAssignment::routingChoices(RoutingMode mode, int numActive, bool twoChannels)
{
    const int count = countFor(mode, numActive, twoChannels);
    if (!splits(mode, twoChannels))
        return 1 << (count - 1);
    return count == 4 ? 4 : 1;
}

FilterAssignment FilterAssignment::forChannel(RoutingMode mode, int routing, int numActive, int channel,
                                              bool twoChannels)
{
    FilterAssignment a;
    a.filterCount = countFor(mode, numActive, twoChannels);
    if (!splits(mode, twoChannels)) {
        a.configuration = std::clamp(routing, 0, 7);
        for (int n = 0; n < maxFilters; ++n)
            a.uses[n] = true;
        return a;
    }
    const int r = std::max(routing, 0);
    a.configuration = a.filterCount == 4 ? r % 2 + 4 * ((r / 2) % 2) : 0;
    const int half = a.filterCount / 2;
    const int c = std::clamp(channel, 0, 1);
    for (int n = 0; n < maxFilters; ++n)
        a.uses[n] = n >= c * half && n <= c * half + half - 1;
    return a;
}
