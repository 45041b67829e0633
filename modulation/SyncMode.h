#pragma once

// How an XLFO's rate is set: freely in Hz, or as a cycle length in bars of
// the host's tempo. The positions are the parameter's option positions.
enum class SyncMode {
    Free = 0,
    Sync16Bars,
    Sync8Bars,
    Sync4Bars,
    Sync2Bars,
    Sync1Bar,
    SyncHalfBar,
    SyncQuarterBar,
    SyncEighthBar,
    Sync16thBar,
    Sync32ndBar,
    Sync64thBar,
};

inline constexpr int syncModeCount = 12;
inline constexpr const char* syncModeOptions = "Free,16,8,4,2,1,1/2,1/4,1/8,1/16,1/32,1/64";

// The cycle length in bars of a sync mode; Free (and anything unknown) gives
// one bar where a number is needed.
inline double syncModeBars(SyncMode syncMode)
{
    const int mode = static_cast<int>(syncMode);
    static constexpr double bars[syncModeCount] = {1.0, 16.0, 8.0,   4.0,    2.0,     1.0,
                                                   0.5, 0.25, 0.125, 0.0625, 0.03125, 0.015625};
    return mode > 0 && mode < syncModeCount ? bars[mode] : 1.0;
}
