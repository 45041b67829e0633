#include "host/cli/RenderLoop.h"

#include "host/cli/AudioFileWriter.h"
#include "host/cli/BlockProcessor.h"
#include "host/cli/ProgressBar.h"
#include "host/cli/SampleReader.h"

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
    for (;;) {
        if (stop && stop()) {
            result.outcome = RenderOutcome::Interrupted;
            return result;
        }
        const int frames = reader.read(interleaved.data(), blockSize);
        if (frames < 0) {
            result.outcome = RenderOutcome::ReadFailed;
            result.error = reader.getError();
            return result;
        }
        if (frames == 0)
            break;
        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                in[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)] =
                    interleaved[static_cast<std::size_t>(i * channels + c)];

        processor.process(inPointers.data(), outPointers.data(), frames);

        for (int i = 0; i < frames; ++i)
            for (int c = 0; c < channels; ++c)
                interleaved[static_cast<std::size_t>(i * channels + c)] =
                    out[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)];
        if (!writer.write(interleaved.data(), frames)) {
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
