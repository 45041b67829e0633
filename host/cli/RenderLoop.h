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
// buffer per channel and back. stop() is asked between blocks.
RenderResult renderStream(SampleReader& reader, BlockProcessor& processor, AudioFileWriter& writer,
                          int blockSize, ProgressBar& progress, const std::function<bool()>& stop);
