#include "host/cli/RenderLoop.h"

#include "host/cli/AudioFileWriter.h"
#include "host/cli/BlockProcessor.h"
#include "host/cli/ProgressBar.h"
#include "host/cli/SampleReader.h"

#include <algorithm>
#include <vector>

RenderResult renderStream(SampleReader& reader, BlockProcessor& processor, AudioFileWriter& writer,
                          int blockSize, ProgressBar& progress, const std::function<bool()>& stop)
{
    const int channels = reader.getChannels();
    const auto blockSamples = static_cast<std::size_t>(blockSize);
    std::vector<float> interleaved(blockSamples * static_cast<std::size_t>(channels));
    std::vector<std::vector<float>> in(static_cast<std::size_t>(channels), std::vector<float>(blockSamples));
    std::vector<std::vector<float>> out(in);
    std::vector<const float*> inPointers;
    std::vector<float*> outPointers;
    for (int c = 0; c < channels; ++c) {
        inPointers.push_back(in[static_cast<std::size_t>(c)].data());
        outPointers.push_back(out[static_cast<std::size_t>(c)].data());
    }

    RenderResult result;
    int unheard = processor.getLatency(); // output frames still to drop
    int tail = unheard;                    // silent frames still to run through
    for (;;) {
        if (stop && stop()) {
            result.outcome = RenderOutcome::Interrupted;
            return result;
        }
        int frames = reader.read(interleaved.data(), blockSize);
        if (frames < 0) {
            result.outcome = RenderOutcome::ReadFailed;
            result.error = reader.getError();
            return result;
        }
        if (frames == 0 && tail == 0)
            break;
        if (frames == 0) {
            processor.endInput();
            frames = std::min(tail, blockSize);
            tail -= frames;
            std::fill_n(interleaved.begin(), static_cast<std::size_t>(frames * channels), 0.0f);
        }
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                in[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
                    interleaved[static_cast<std::size_t>(i * channels + c)];

        processor.process(inPointers.data(), outPointers.data(), frames);

        const int dropped = std::min(unheard, frames);
        unheard -= dropped;
        frames -= dropped;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                interleaved[static_cast<std::size_t>(i * channels + c)] =
                    out[static_cast<std::size_t>(c)][static_cast<std::size_t>(i + dropped)];
        if (frames > 0 && !writer.write(interleaved.data(), frames)) {
            result.outcome = RenderOutcome::WriteFailed;
            result.error = writer.getError();
            return result;
        }
        result.frames += frames;
        progress.update(result.frames);
    }
    progress.finish();
    return result;
}
