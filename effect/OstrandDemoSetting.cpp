#include "effect/OstrandDemoSetting.h"

const std::vector<std::string>& ostrandDemoSetting()
{
    static const std::vector<std::string> setting = {
        // (1 → 2) ∥ 3: a resonant low-pass into a high-pass that thins the
        // low end, beside a delayed, panned band-pass.
        "Num Active Filters=3",
        "Routing=2",
        "Input Gain=2 dB",
        "Output Gain=6 dB",
        "Mix=100 %",
        "Filter 1 Characteristic=Tube",
        "Filter 1 Response=LP",
        "Filter 1 Slope=24",
        "Filter 1 Freq=700 Hz",
        "Filter 1 Peak=0.6",
        "Filter 2 Characteristic=Smooth",
        "Filter 2 Response=HP",
        "Filter 2 Freq=90 Hz",
        "Filter 2 Peak=0.25",
        "Filter 3 Characteristic=Metal",
        "Filter 3 Response=BP",
        "Filter 3 Freq=1500 Hz",
        "Filter 3 Peak=0.45",
        "Filter 3 Pan=0.8",
        "Filter 3 Delay=12 ms",
        // Four gliding steps, one cycle every half bar.
        "Num Active XLFOs=1",
        "XLFO 1 Sync Mode=1/2",
        "Num Active XLFO 1 Steps=4",
        "XLFO 1 Step 1 Value=1",
        "XLFO 1 Step 2 Value=-0.4",
        "XLFO 1 Step 3 Value=0.5",
        "XLFO 1 Step 4 Value=-1",
        "XLFO 1 Step 1 Glide=0.5",
        "XLFO 1 Step 2 Glide=0.3",
        "XLFO 1 Step 3 Glide=0.5",
        "XLFO 1 Step 4 Glide=0.8",
        "XLFO 1 Step 4 Glide function=Sine",
        // The kick and the snare open the band-pass.
        "Num Active EGs=1",
        "EG 1 Threshold=0.6",
        "EG 1 Attack=0.05",
        "EG 1 Decay=0.45",
        "EG 1 Sustain=0",
        "EG 1 Release=0.4",
        "Num Active Slots=2",
        "Slot 1 Source=XLFO 1",
        "Slot 1 Target=Filter 1 Freq",
        "Slot 1 Level=0.5",
        "Slot 2 Source=EG 1",
        "Slot 2 Target=Filter 3 Freq",
        "Slot 2 Level=0.25",
    };
    return setting;
}
