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

#include <algorithm>

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
    // in, out_l, out_r, sc, events, enabled.
    const Lv2PortLayout& ports = monoToStereo.ports;
    ASSERT_EQ(ports.portCount(), 6);
    lv2test::DescriptorInstance<Lv2PortLayout> instance(*d, ports, 48000.0, features, urids);
    ASSERT_TRUE(instance.ok());
    const std::size_t n = 300;
    std::vector<float>& in = instance.audio(0);
    for (std::size_t i = 0; i < n; ++i) {
        in[i] = 0.001f * static_cast<float>(i);
        instance.audio(ports.firstSideChain())[i] = -0.002f * static_cast<float>(i);
    }
    const auto output = [&](int channel, const std::vector<float>& expected) {
        const std::vector<float>& out = instance.audio(ports.firstOutput() + channel);
        return std::equal(out.begin(), out.begin() + n, expected.begin());
    };
    instance.run(n);
    EXPECT_TRUE(output(0, in));
    EXPECT_TRUE(output(1, instance.audio(ports.firstSideChain())));

    // Without a side chain the main input stands in for it.
    instance.connect(ports.firstSideChain(), nullptr);
    instance.run(n);
    EXPECT_TRUE(output(0, in));
    EXPECT_TRUE(output(1, in));
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
    auto& adapter = *static_cast<Lv2PluginAdapter*>(h);
    GenericPlugin& plugin = adapter.getPlugin();
    const PresetState& preset = plugin.getPresetState();
    const LV2_URID key = urids.map("urn:merovance:ostrand2#presetName");
    const LV2_URID text = urids.map(LV2_ATOM__String);

    // A name longer than the 63 characters kept, as a host may hand it back:
    // saved again shortened, under the same key and type.
    lv2test::StateStore given, kept;
    given.values[key] = {text, std::string(70, 'x') + std::string(1, '\0')};
    ASSERT_TRUE(given.restore(*state, h));
    ASSERT_TRUE(kept.save(*state, h));
    ASSERT_EQ(kept.values.size(), 1u);
    EXPECT_EQ(kept.values[key].type, text);
    EXPECT_EQ(kept.values[key].bytes, std::string(63, 'x') + std::string(1, '\0'));

    // The first instance installed the factory presets in the user's folder.
    given.values[key].bytes = std::string("Dubstep Wobble") + std::string(1, '\0');
    given.restore(*state, h);
    EXPECT_EQ(preset.name, "Dubstep Wobble");
    EXPECT_TRUE(preset.location.ends_with("/Tempo Sync/Dubstep Wobble.mvp")) << preset.location;

    // Changes the host did not make wait, once each, for the editor's view
    // to pass them on to the host's ports.
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
