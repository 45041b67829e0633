#pragma once

// Running the effect as a host would, for the effect's tests: signals, and
// renders through GenericPlugin::process in host blocks. (Every test program
// runs in a home of its own: see ScratchHome.cpp.)

#include "TestFiles.h"
#include "effect/OstrandPlugin.h"
#include "framework/AbstractPluginParameter.h"
#include "framework/ParameterAssignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

namespace effecttest {

using Signal = std::vector<float>;

inline Signal sine(int n, double hz, double amplitude = 0.5, double rate = 48000.0)
{
    Signal s(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        s[static_cast<std::size_t>(i)] =
            static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / rate));
    return s;
}

// Uniform white noise in [-amplitude, amplitude), reproducible.
inline Signal noise(int n, std::uint32_t seed, double amplitude = 0.5)
{
    Signal s(static_cast<std::size_t>(n));
    std::uint32_t x = seed ? seed : 1u;
    for (auto& v : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        v = static_cast<float>(amplitude * (static_cast<double>(x) / 2147483648.0 - 1.0));
    }
    return s;
}

inline double rms(const Signal& s, std::size_t from = 0, std::size_t to = SIZE_MAX)
{
    to = std::min(to, s.size());
    double sum = 0.0;
    for (std::size_t i = from; i < to; ++i)
        sum += static_cast<double>(s[i]) * static_cast<double>(s[i]);
    return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

inline double maxDifference(const Signal& a, const Signal& b, std::size_t from = 0)
{
    double worst = 0.0;
    for (std::size_t i = from; i < std::min(a.size(), b.size()); ++i)
        worst = std::max(worst, std::fabs(static_cast<double>(a[i]) - static_cast<double>(b[i])));
    return worst;
}

// Sets parameters as the renderer's --set does; fails the test on an error.
inline void set(GenericPlugin& plugin, const std::string& assignment)
{
    const ParameterAssignment a = applyParameterAssignment(plugin, assignment);
    ASSERT_TRUE(a.ok()) << a.error;
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
