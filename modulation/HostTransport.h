#pragma once

#include "framework/Property.h"

#include <cmath>
#include <cstdint>

// The host's transport as the step LFOs' rate controllers read it: the
// tempo, and the song position at a graph position. An instance keeps one
// for all its controllers, so a host block's report is taken once, not once
// per controller.
struct HostTransport {
    // Beats per minute.
    double tempo = 120.0;
    // Quarter notes, at graph position positionAt.
    double position = 0.0;
    std::uint32_t positionAt = 0;

    // Takes the report for the host block that starts at graph position at.
    // No tempo (0), or one that cannot be meant (negative, not finite),
    // counts as 120 rather than a stalled or reversed LFO; a position that is
    // not finite keeps the last one. Returns whether the tempo changed.
    // Audio thread.
    bool take(double newTempo, double newPosition, std::uint32_t at)
    {
        const double before = tempo;
        const bool meant = newTempo > static_cast<double>(valueChangeEpsilon) && std::isfinite(newTempo);
        tempo = meant ? newTempo : 120.0;
        if (std::isfinite(newPosition)) {
            position = newPosition;
            positionAt = at;
        }
        return tempo != before;
    }
};
