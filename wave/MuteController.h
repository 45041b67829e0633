#pragma once

namespace wave {

// Tells a node that its signal is silent for now, so it may skip its work
// (an envelope that has not been triggered mutes the filter it drives).
class MuteController {
public:
    // Audio thread, at the start of a block of the node that asks.
    virtual bool isMuted() const = 0;

protected:
    ~MuteController() = default;
};

} // namespace wave
