#pragma once

#include <functional>
#include <string>

class AudioFileWriter;
class BlockProcessor;
class ProgressBar;
class SampleReader;

enum class RenderOutcome { Done, ReadFailed, WriteFailed, Interrupted };

struct RenderResult {
    RenderOutcome outcome = RenderOutcome::Done;
    long long frames = 0; // frames written
    std::string error;    // why reading or writing failed
};

// Streams every frame of the reader through the processor into the writer,
// blockSize frames per call, splitting the interleaved file frames into one
// buffer per channel and back. stop() is asked between blocks. The output
// is as long as the input and in step with it: as many frames as the
// processor's latency (taken when the render starts) are dropped from its
// start, and as many frames of silence run through it after the input.
RenderResult renderStream(SampleReader& reader, BlockProcessor& processor, AudioFileWriter& writer,
                          int blockSize, ProgressBar& progress, const std::function<bool()>& stop);
