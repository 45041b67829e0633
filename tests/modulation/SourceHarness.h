#pragma once

// Drives modulation sources the way the generic plug-in does: a one-channel
// plug-in whose output is the source under test, transport handed over
// before every host block, the block split into sub-blocks of at most 1024
// samples and at every MIDI event, MIDI decoded through the default event
// receiver. Also a plain graph driver for tests that need no plug-in.

#include "framework/AbstractMusicEventReceiver.h"
#include "framework/GenericPlugin.h"
#include "modulation/XLFOFreqController.h"
#include "wave/Graph.h"
#include "wave/Producer.h"
#include "wave/Source.h"

#include <algorithm>
#include <string>
#include <vector>

namespace harness {

class SourcePlugin : public GenericPlugin {
public:
    explicit SourcePlugin(float sampleRate)
    {
        getGraph().setSampleRate(sampleRate);
        setNumChannels(1);
        initialize("Harness");
    }
    ~SourcePlugin() override { terminate(); }

    std::string presetMagic() const override { return "Test"; }
    void setTransport(double tempo, double position) override
    {
        for (XLFOFreqController* c : controllers)
            c->setTempoAndPosition(tempo, position);
    }

    // While building, after the nodes exist: the channel's output.
    void setOutputNode(wave::Producer& node)
    {
        auto* channel = new GenericPlugin::Channel(*this);
        channel->setOutput(&node);
        applyAllParameters();
    }
    AbstractChannelEventReceiver& receiver() const
    {
        return *static_cast<DefaultEventReceiver*>(getEventReceiver())->getCurrentReceiver();
    }

    // Host blocks of hostBlock samples; before each, the transport at
    // `tempo` from song position 0 (when tempo > 0) and the hook.
    template <typename Hook>
    std::vector<float> render(int total, int hostBlock, double tempo, Hook beforeBlock)
    {
        std::vector<float> out(static_cast<std::size_t>(total));
        const double rate = static_cast<double>(getGraph().getSampleRate());
        for (int start = 0; start < total; start += hostBlock) {
            const int n = std::min(hostBlock, total - start);
            if (tempo > 0.0)
                setTransport(tempo, static_cast<double>(start) / rate * tempo / 60.0);
            beforeBlock(start, n);
            float* outputs[1] = {out.data() + start};
            process(nullptr, 0, outputs, 1, n);
        }
        return out;
    }
    std::vector<float> render(int total, int hostBlock, double tempo = 0.0)
    {
        return render(total, hostBlock, tempo, [](int, int) {});
    }

    std::vector<XLFOFreqController*> controllers;
};

// Pulls a producer frame by frame through a bare graph.
inline std::vector<float> pullFrames(wave::Graph& graph, wave::Producer& node, int total, int frame = 1024)
{
    std::vector<float> out;
    out.reserve(static_cast<std::size_t>(total));
    for (int done = 0; done < total; done += frame) {
        const int n = std::min(frame, total - done);
        graph.nextFrame();
        const wave::Block& b = node.pull(n);
        out.insert(out.end(), b.data(), b.data() + n);
        graph.advance(n);
    }
    return out;
}

// Plays a prepared signal, one frame at a time.
class SignalPlayer : public wave::Source {
public:
    SignalPlayer(wave::Graph& graph, std::vector<float> samples)
        : wave::Source(graph), signal(std::move(samples))
    {
    }
    int process(wave::Block& target, int numSamples, int) override
    {
        for (int k = 0; k < numSamples; ++k, ++read)
            target[k] = read < signal.size() ? signal[read] : signal.back();
        setConstant(false);
        return numSamples;
    }
    std::vector<float> signal;
    std::size_t read = 0;
};

} // namespace harness
