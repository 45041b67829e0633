#pragma once

#include "effect/RoutingMode.h"

// Which of the four filters a channel path runs and in which routing
// configuration, from the routing mode, the "Routing" position and the
// number of filters in use.
//
// Stereo (and every one-channel instance): all filters in use, the routing
// position is the configuration. Per Channel and Mid/Side: the filters in
// use are rounded down to an even count of at least 2; channel 0 (left or
// mid) runs the first half of them, channel 1 (right or side) the second;
// with four filters the positions 0 .. 3 choose configurations 0, 1, 4 and
// 5 (both serial, both parallel, and the two mixed cases), otherwise 0.
struct FilterAssignment {
    static constexpr int maxFilters = 4;

    int filterCount = 1;   // the routing's active filter count
    int configuration = 0; // the routing's configuration index
    bool uses[maxFilters] = {true, false, false, false};

    // channel is 0 or 1; twoChannels is false for a one-channel instance,
    // which ignores the mode.
    static FilterAssignment forChannel(RoutingMode mode, int routing, int numActive, int channel,
                                       bool twoChannels);
    // The filter count the channels share.
    static int countFor(RoutingMode mode, int numActive, bool twoChannels);
    // How many "Routing" positions make a difference: 2^(count - 1) for
    // Stereo or one channel, 4 with four filters in the split modes, else 1.
    static int routingChoices(RoutingMode mode, int numActive, bool twoChannels);
};
