#pragma once

// Running the effect as a host would, for the effect's tests: signals, and
// renders through GenericPlugin::process in host blocks. (Every test program
// runs in a home of its own: see ScratchHome.cpp.)

#include "Signals.h"
#include "TestFiles.h"
#include "effect/OstrandPlugin.h"
#include "framework/AbstractPluginParameter.h"
#include "framework/ParameterAssignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace effecttest {

using testsignals::maxDifference;
using testsignals::noise;
using testsignals::rms;
using testsignals::Signal;
using testsignals::sine;

// Sets parameters as the renderer's --set does; fails the test on an error.
inline void set(GenericPlugin& plugin, const std::string& assignment)
{
    const ParameterAssignment a = applyParameterAssignment(plugin, assignment);
    ASSERT_TRUE(a.ok()) << a.error;
}

// A new instance with the settings applied at once, as a host's before it plays.
inline std::unique_ptr<OstrandPlugin> effect(int channels, const std::vector<std::string>& settings,
                                             float rate = 48000.0f)
{
    auto p = std::make_unique<OstrandPlugin>(channels, rate);
    for (const std::string& s : settings)
        set(*p, s);
    p->applyQueuedChangesAtOnce();
    return p;
}

inline AbstractPluginParameter& parameter(const GenericPlugin& plugin, const std::string& name)
{
    const int index = plugin.findParameter(name);
    EXPECT_GE(index, 0) << name;
    return *plugin.getParameter(std::max(index, 0));
}

// Renders the channels (and an optional side chain, one signal per channel)
// through process in host blocks of blockSize samples; with a tempo, a
// steady transport from the first beat reaches the plug-in before every block.
inline std::vector<Signal> render(GenericPlugin& plugin, const std::vector<Signal>& in, int blockSize = 512,
                                  const std::vector<Signal>& side = {}, double tempo = 0.0, double rate = 48000.0)
{
    const std::size_t channels = in.size();
    const std::size_t length = in[0].size();
    std::vector<Signal> out(channels, Signal(length));
    std::vector<const float*> inputs(channels + side.size());
    std::vector<float*> outputs(channels);
    for (std::size_t done = 0; done < length; done += static_cast<std::size_t>(blockSize)) {
        const int n = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(blockSize), length - done));
        for (std::size_t c = 0; c < channels; ++c) {
            inputs[c] = in[c].data() + done;
            outputs[c] = out[c].data() + done;
        }
        for (std::size_t c = 0; c < side.size(); ++c)
            inputs[channels + c] = side[c].data() + done;
        if (tempo > 0.0)
            plugin.setTransport(tempo, static_cast<double>(done) * tempo / 60.0 / rate);
        plugin.process(inputs.data(), static_cast<int>(inputs.size()), outputs.data(), static_cast<int>(channels),
                       n);
    }
    return out;
}

} // namespace effecttest
