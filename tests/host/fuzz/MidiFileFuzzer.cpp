// libFuzzer target for the MIDI file reader and the tempo map behind it.
// Built with clang on request only (OSTRAND_FUZZ, see ./dev fuzz). Beyond
// what the sanitizers catch it checks what the renderer relies on: a
// readable file has its events in tick order and they land on samples in
// the same order; an unreadable one says why.
#include "host/cli/MidiFile.h"
#include "host/cli/TempoMap.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const MidiFileResult result = parseMidiFile({data, size});
    if (!result.ok())
        return 0;
    const MidiFile& file = result.file;
    if (!result.error.empty() || file.trackCount < 1)
        __builtin_trap();
    for (int rate : {44100, 96000}) {
        const TempoMap map(file.division, file.tempoChanges, 97.5, rate);
        std::int64_t previous = 0;
        std::uint64_t previousTick = 0;
        for (const MidiFileEvent& e : file.events) {
            const std::int64_t sample = map.sampleOf(e.tick);
            if (e.tick < previousTick || sample < previous || e.status < 0x80 || e.status >= 0xF0 ||
                e.data1 > 127 || e.data2 > 127)
                __builtin_trap();
            previous = sample;
            previousTick = e.tick;
        }
        for (std::int64_t sample : {std::int64_t{0}, std::int64_t{rate}, previous}) {
            const double tempo = map.tempoAt(sample);
            if (!std::isfinite(map.positionAt(sample)) || !(tempo > 0.0) || !std::isfinite(tempo))
                __builtin_trap();
        }
    }
    return 0;
}
