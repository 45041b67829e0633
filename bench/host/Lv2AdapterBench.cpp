// The LV2 adapter's fixed cost per block: the stereo effect with one filter
// run through the plug-in's own descriptor (666 control ports compared with
// their previous values, the event sequence read, the transport passed on)
// against GenericPlugin::process called directly, at host blocks of 64 and
// 512; and a bypassed run, which is that cost plus copying the input.
#include "effect/OstrandPlugin.h"
#include "framework/PluginStorage.h"
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginDescriptors.h"

#include <benchmark/benchmark.h>
#include <lv2/atom/atom.h>
#include <lv2/urid/urid.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int channels = 2;

std::vector<std::vector<float>> noise(int n)
{
    std::vector<std::vector<float>> s(channels, std::vector<float>(static_cast<std::size_t>(n)));
    std::uint32_t x = 1;
    for (auto& c : s)
        for (float& v : c) {
            x = x * 1664525u + 1013904223u;
            v = static_cast<float>(x >> 8) / 16777216.0f - 0.5f;
        }
    return s;
}

void direct(benchmark::State& state)
{
    static PluginStorage noFiles;
    PluginStorage::install(&noFiles);
    const int block = static_cast<int>(state.range(0));
    OstrandPlugin plugin(channels, 48000.0f);
    plugin.applyQueuedChangesAtOnce();
    auto in = noise(block);
    auto out = in;
    const float* inputs[] = {in[0].data(), in[1].data()};
    float* outputs[] = {out[0].data(), out[1].data()};
    double position = 0.0;
    for (auto _ : state) {
        plugin.setTransport(120.0, position);
        plugin.process(inputs, channels, outputs, channels, block);
        position += block / 24000.0;
        benchmark::DoNotOptimize(out[0].data());
    }
    state.SetItemsProcessed(state.iterations() * block);
}

void adapter(benchmark::State& state)
{
    static PluginStorage noFiles;
    PluginStorage::install(&noFiles);
    const int block = static_cast<int>(state.range(0));
    const bool bypassed = state.range(1) != 0;

    std::map<std::string, LV2_URID> ids;
    LV2_URID_Map map{&ids, [](LV2_URID_Map_Handle h, const char* uri) {
                         auto& m = *static_cast<std::map<std::string, LV2_URID>*>(h);
                         return m.try_emplace(uri, static_cast<LV2_URID>(m.size() + 1)).first->second;
                     }};
    const LV2_Feature mapFeature{LV2_URID__map, &map};
    const LV2_Feature* features[] = {&mapFeature, nullptr};
    static const Lv2PluginDescriptors descriptors(effectPluginGroup());
    const LV2_Descriptor* d = descriptors.get(0);
    LV2_Handle h = d->instantiate(d, 48000.0, "", features);

    auto in = noise(block);
    auto out = in;
    // Ports: in_l, in_r, out_l, out_r, sc_l, sc_r, events, enabled, parameters.
    d->connect_port(h, 0, in[0].data());
    d->connect_port(h, 1, in[1].data());
    d->connect_port(h, 2, out[0].data());
    d->connect_port(h, 3, out[1].data());
    d->connect_port(h, 4, in[0].data());
    d->connect_port(h, 5, in[1].data());
    LV2_Atom_Sequence events{{sizeof(LV2_Atom_Sequence_Body), map.map(map.handle, LV2_ATOM__Sequence)}, {0, 0}};
    d->connect_port(h, 6, &events);
    float enabled = bypassed ? 0.0f : 1.0f;
    d->connect_port(h, 7, &enabled);
    OstrandPlugin defaults(channels, 48000.0f);
    std::vector<float> controls;
    for (int i = 0; i < defaults.getParameterCount(); ++i)
        controls.push_back(defaults.getParameter(i)->getValue());
    for (std::size_t i = 0; i < controls.size(); ++i)
        d->connect_port(h, static_cast<std::uint32_t>(8 + i), &controls[i]);
    d->activate(h);
    for (auto _ : state) {
        d->run(h, static_cast<std::uint32_t>(block));
        benchmark::DoNotOptimize(out[0].data());
    }
    state.SetItemsProcessed(state.iterations() * block);
    d->cleanup(h);
}

} // namespace

BENCHMARK(direct)->ArgName("block")->Arg(64)->Arg(512);
BENCHMARK(adapter)->ArgNames({"block", "bypassed"})->Args({64, 0})->Args({512, 0})->Args({64, 1})->Args({512, 1});
