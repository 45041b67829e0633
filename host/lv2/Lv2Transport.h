#pragma once

// The host's transport as the plug-in takes it: the tempo in quarter notes
// per minute and the song position in quarter notes, at the first sample of
// each stretch of audio. Hosts send a position when it changes (start, stop,
// relocation, loop, tempo change), so between two the position moves on
// with the audio. A host that sends none plays a steady 120 BPM from the
// start, as the offline renderer does; a stopped transport keeps its last
// position.
class Lv2Transport {
public:
    // What one time:Position said; fields the host left out are NaN.
    struct Position {
        double beatsPerMinute; // beats of beatUnit per minute
        double speed;          // 0 stopped, 1 rolling
        double bar;            // bars from the start
        double barBeat;        // beats into the bar
        double beat;           // beats from the start, without bars
        double beatsPerBar;
        double beatUnit;       // 4 for quarter notes, 8 for eighths
    };
    static Position emptyPosition();

    explicit Lv2Transport(double sampleRate);

    void apply(const Position& p);
    // Moves on by this many samples at the current tempo and speed.
    void advance(int samples);

    double getTempo() const { return beatsPerMinute * 4.0 / beatUnit; }
    double getPosition() const { return position; }

private:
    double sampleRate;
    double beatsPerMinute = 120.0;
    double speed = 1.0;
    double beatsPerBar = 4.0;
    double beatUnit = 4.0;
    double position = 0.0;
};
