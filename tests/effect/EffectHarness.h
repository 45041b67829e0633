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
using testsignals::rms;
using testsignals::Signal;

inline Signal sine(int n, double hz, double amplitude = 0.5, double rate = 48000.0)
{
    return testsignals::sine(n, hz, amplitude, rate);
}

inline Signal noise(int n, std::uint32_t seed, double amplitude = 0.5)
{
    return testsignals::noise(n, seed, amplitude);
}

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
// through process in host blocks of blockSize samples.
inline std::vector<Signal> render(GenericPlugin& plugin, const std::vector<Signal>& in, int blockSize = 512,
                                  const std::vector<Signal>& side = {})
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
        plugin.process(inputs.data(), static_cast<int>(inputs.size()), outputs.data(), static_cast<int>(channels),
                       n);
    }
    return out;
}

} // namespace effecttest
