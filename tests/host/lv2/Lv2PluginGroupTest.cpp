// The group's effect types and the mono-to-stereo adapter, with a plug-in
// that has no mono layout, driven through the module's C descriptors as a
// host drives them.
#include "TestFiles.h"
#include "Lv2TestHost.h"
#include "framework/GenericPlugin.h"
#include "host/lv2/Lv2EffectGroup.h"
#include "host/lv2/Lv2PluginAdapter.h"
#include "host/lv2/Lv2PluginDescriptors.h"
#include "host/lv2/Lv2PluginGroup.h"
#include "wave/Input.h"

#include <gtest/gtest.h>

namespace {

// Channel 0 hands on its main input, channel 1 its side-chain input.
class SideChainProbe : public GenericPlugin {
public:
    SideChainProbe(float sampleRate)
    {
        initialize("Ostrand");
        getGraph().setSampleRate(sampleRate);
        auto* left = new Channel(*this);
        left->setOutput(&left->getInput());
        auto* right = new Channel(*this);
        right->setOutput(&right->getSideChainInput());
        applyAllParameters();
    }
    ~SideChainProbe() override { terminate(); }
    std::string presetMagic() const override { return "MOsc"; }
    bool hasSideChain() const override { return true; }
};

} // namespace

TEST(Lv2PluginGroup, APluginWithoutMonoRunsMonoToStereoFromOneInput)
{
    TemporaryHome home;
    const Lv2PluginGroup group([](int, float rate) { return std::make_unique<SideChainProbe>(rate); });
    ASSERT_EQ(group.getTypes().size(), 2u);
    const auto& stereo = group.getTypes()[0];
    const auto& monoToStereo = group.getTypes()[1];
    EXPECT_EQ(stereo.uri, "urn:merovance:ostrand2");
    EXPECT_EQ(monoToStereo.uri, "urn:merovance:ostrand2:mono-to-stereo");
    EXPECT_EQ(monoToStereo.pluginChannels, 2);
    EXPECT_EQ(group.getNameList(), "Merovance Ostrand 2\nOstrand 2");

    const Lv2PluginDescriptors descriptors(group);
    EXPECT_EQ(descriptors.get(2), nullptr);
    const LV2_Descriptor* d = descriptors.get(1);
    ASSERT_NE(d, nullptr);
    EXPECT_STREQ(d->URI, monoToStereo.uri.c_str());

    // urid:map is required; everything else is optional.
    const LV2_Feature* none[] = {nullptr};
    EXPECT_EQ(d->instantiate(d, 48000.0, "", none), nullptr);
    lv2test::UridMap urids;
    const LV2_Feature map{LV2_URID__map, &urids.mapFeature};
    const LV2_Feature* features[] = {&map, nullptr};
    LV2_Handle h = d->instantiate(d, 48000.0, "", features);
    ASSERT_NE(h, nullptr);

    // in, out_l, out_r, sc, events, enabled.
    const Lv2PortLayout& ports = monoToStereo.ports;
    ASSERT_EQ(ports.portCount(), 6);
    const int n = 300;
    std::vector<float> in(n), side(n), left(n), right(n);
    for (int i = 0; i < n; ++i) {
        in[static_cast<std::size_t>(i)] = 0.001f * static_cast<float>(i);
        side[static_cast<std::size_t>(i)] = -0.002f * static_cast<float>(i);
    }
    lv2test::EventSequence events(urids);
    float enabled = 1.0f;
    d->connect_port(h, 0, in.data());
    d->connect_port(h, static_cast<std::uint32_t>(ports.firstOutput()), left.data());
    d->connect_port(h, static_cast<std::uint32_t>(ports.firstOutput() + 1), right.data());
    d->connect_port(h, static_cast<std::uint32_t>(ports.firstSideChain()), side.data());
    d->connect_port(h, static_cast<std::uint32_t>(ports.eventsPort()), events.get());
    d->connect_port(h, static_cast<std::uint32_t>(ports.enabledPort()), &enabled);
    d->activate(h);
    d->run(h, n);
    EXPECT_EQ(left, in);
    EXPECT_EQ(right, side);

    // Without a side chain the main input stands in for it.
    d->connect_port(h, static_cast<std::uint32_t>(ports.firstSideChain()), nullptr);
    d->run(h, n);
    EXPECT_EQ(left, in);
    EXPECT_EQ(right, in);
    d->cleanup(h);
}

TEST(Lv2PluginGroup, ARestoredPresetNameFindsItsPresetAndOtherChangesWaitForTheView)
{
    TemporaryHome home;
    const Lv2PluginDescriptors descriptors(effectPluginGroup());
    const LV2_Descriptor* d = descriptors.get(0);
    lv2test::UridMap urids;
    const LV2_Feature map{LV2_URID__map, &urids.mapFeature};
    const LV2_Feature* features[] = {&map, nullptr};
    LV2_Handle h = d->instantiate(d, 48000.0, "", features);
    ASSERT_NE(h, nullptr);
    const auto* state = static_cast<const LV2_State_Interface*>(d->extension_data(LV2_STATE__interface));
    ASSERT_NE(state, nullptr);

    struct Name {
        LV2_URID key, type;
        std::string text;
    };
    auto retrieve = [](LV2_State_Handle handle, std::uint32_t key, std::size_t* size, std::uint32_t* type,
                       std::uint32_t* flags) -> const void* {
        const auto& n = *static_cast<const Name*>(handle);
        if (key != n.key)
            return nullptr;
        *size = n.text.size() + 1;
        *type = n.type;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return n.text.c_str();
    };
    const PresetState& preset = static_cast<Lv2PluginAdapter*>(h)->getPlugin().getPresetState();
    const LV2_URID key = urids.map("urn:merovance:ostrand2#presetName");
    const LV2_URID text = urids.map(LV2_ATOM__String);

    // The first instance installed the factory presets in the user's folder.
    Name known{key, text, "Dubstep Wobble"};
    state->restore(h, retrieve, &known, 0, nullptr);
    EXPECT_EQ(preset.name, "Dubstep Wobble");
    EXPECT_TRUE(preset.location.ends_with("/Tempo Sync/Dubstep Wobble.mvp")) << preset.location;

    // Changes the host did not make wait, once each, for the editor's view
    // to pass them on to the host's ports.
    auto& adapter = *static_cast<Lv2PluginAdapter*>(h);
    GenericPlugin& plugin = adapter.getPlugin();
    auto taken = [&adapter] {
        std::vector<int> indices;
        adapter.takeChangedParameters([&indices](int i) { indices.push_back(i); });
        return indices;
    };
    plugin.getParameter(100)->setValue(plugin.getParameter(100)->getMax(), 0);
    plugin.getParameter(3)->setValue(0.5f, 0);
    plugin.getParameter(4)->setValue(50.0f, GenericPlugin::changeFromHost);
    EXPECT_EQ(taken(), (std::vector<int>{3, 100}));
    EXPECT_TRUE(taken().empty());
    {
        // A preset load or an undo step: one report for all.
        GenericPlugin::Batch batch(plugin);
        plugin.getParameter(5)->setValue(3.0f, 0);
    }
    EXPECT_EQ(taken().size(), static_cast<std::size_t>(plugin.getParameterCount()));
    d->cleanup(h);
}
