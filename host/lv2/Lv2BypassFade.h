#pragma once

// How much of the effect is heard against the dry input while the enabled
// switch moves: 1 enabled, 0 bypassed, and a straight line over a fixed
// time between the two in either direction, so switching never clicks. A
// switch during a fade turns it round where it is.
class Lv2BypassFade {
public:
    static constexpr double fadeSeconds = 0.02;

    explicit Lv2BypassFade(double sampleRate);

    // Starts moving towards enabled (1) or bypassed (0).
    void setEnabled(bool enabled);
    // Goes there at once (the state a session is restored with).
    void jumpTo(bool enabled);

    bool isBypassed() const { return gain == 0.0f && target == 0.0f; }
    bool isEnabled() const { return gain == 1.0f && target == 1.0f; }

    // While moving: out = dry + gain * (wet - dry) sample by sample, where
    // out holds the wet signal on entry (it may be the dry buffer too only
    // where the caller copied dry away first). Moves the gain on by count
    // samples. Returns true when this call brought the fade down to
    // bypassed.
    bool mix(const float* const* dry, float* const* out, int channels, int count);

private:
    float step;
    float gain = 1.0f;
    float target = 1.0f;
};
