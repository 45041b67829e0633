#include "framework/LimFloatPropPluginParameter.h"
#include "framework/PropPluginParameter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

// Records registrations and change notifications like a plug-in would.
struct RecordingOwner final : GenericParameterOwner {
    struct Change {
        int index;
        float value;
        int flag;
    };
    std::vector<AbstractPluginParameter*> registered;
    std::vector<Change> changes;

    void parameterChanged(int index, float value, int flag) override
    {
        changes.push_back({index, value, flag});
    }
    int addParameter(AbstractPluginParameter* p) override
    {
        registered.push_back(p);
        return static_cast<int>(registered.size()) - 1;
    }
};

struct CountingPropertyOwner final : PropertyOwner {
    int calls = 0;
    void propertyChanged(PropertyBase&) override { ++calls; }
};

enum class Response { LP, HP, BP };

float dbToGain(float db)
{
    return std::exp(db * 0.1151292546497023f);
}
float gainToDb(float gain)
{
    return gain > 1e-10f ? 20.0f * std::log10(gain) : -180.0f;
}

} // namespace

TEST(PluginParameter, FloatClampsNotifiesOnlyRealChangesAndNormalizes)
{
    RecordingOwner owner;
    FloatPluginParameter gain(&owner, "Input Gain");
    FloatPluginParameter pan(&owner, "Input Pan");
    EXPECT_EQ(pan.getIndex(), 1);
    gain.setRange(-36.0f, 36.0f);
    EXPECT_FLOAT_EQ(gain.normalize(0.0f), 0.5f);
    EXPECT_FLOAT_EQ(gain.denormalize(0.25f), -18.0f);

    gain.setValue(12.0f, 1);
    ASSERT_EQ(owner.changes.size(), 1u);
    EXPECT_TRUE(owner.changes[0].index == 0 && owner.changes[0].value == 12.0f && owner.changes[0].flag == 1);

    // Within the single-precision epsilon: no notification; beyond: one.
    gain.setValue(12.0f + 1.0e-7f, 0);
    EXPECT_EQ(owner.changes.size(), 1u);
    gain.setValue(100.0f, 0);
    ASSERT_EQ(owner.changes.size(), 2u);
    EXPECT_EQ(gain.getValue(), 36.0f);
    gain.setValue(std::nanf(""), 0);
    EXPECT_EQ(owner.changes.size(), 2u);
    EXPECT_EQ(gain.getText(), "36");
}

TEST(PluginParameter, EnumeratedPositionsAndTheirTexts)
{
    RecordingOwner owner;
    PropPluginParameter<Response> response(&owner, "Response");
    response.setRange(0, 2);
    response.setOptions("LP,HP,BP");
    for (const auto& [normalized, position] :
         {std::pair{0.5f, 1.0f}, {1.0f, 2.0f}, {-0.2f, 0.0f}, {0.24f, 0.0f}, {0.26f, 1.0f}})
        EXPECT_EQ(response.denormalize(normalized), position) << normalized;
    EXPECT_FLOAT_EQ(response.normalize(2.0f), 1.0f);
    EXPECT_EQ(response.valueToText(1.0f), "HP");
    EXPECT_EQ(response.valueToText(7.0f), "7"); // beyond the range: no name

    response.setValue(2.0f, 0);
    response.setValue(2.0f, 0);
    EXPECT_EQ(owner.changes.size(), 1u);
    EXPECT_EQ(response.getTypedValue(), Response::BP);
    response.setValue(-5.0f, 0);
    EXPECT_EQ(response.getValue(), 0.0f);

    // Positions 1..3 named from the first position: "12,24,48".
    PropPluginParameter<int> slope(&owner, "Slope");
    slope.setRange(1, 3);
    slope.setOptions("12,24,48");
    slope.setDefault(1.0f);
    slope.setValue(0.0f, 0);
    EXPECT_EQ(slope.getValue(), 1.0f);
    EXPECT_EQ(slope.getText(), "12");

    // Options split at every comma, empty names and blanks kept.
    slope.setOptions("Stereo,,Mid/Side, x");
    EXPECT_EQ(slope.getOptionNames(), (std::vector<std::string>{"Stereo", "", "Mid/Side", " x"}));

    PropPluginParameter<bool> enabled(&owner, "Enabled");
    enabled.setOptions("Off,On");
    enabled.setValue(2.0f, 0);
    EXPECT_TRUE(enabled.getTypedValue());
    EXPECT_EQ(enabled.getValue(), 1.0f);
    EXPECT_EQ(enabled.getText(), "On");
}

TEST(PluginParameter, PropertiesReceiveMappedValuesAndOwnersHearRealChangesOnly)
{
    RecordingOwner owner;
    CountingPropertyOwner dsp;
    LimFloatPropPluginParameter gain(&owner, "Output Gain");
    gain.setRange(-36.0f, 36.0f);
    gain.getDisplay().setInner(dbToGain);
    gain.getDisplay().setOuter(gainToDb);
    gain.getDisplay().setUnit("dB");
    LimitedProperty<float> linear(&dsp, 10.0f, 0.0f, 1.0f);
    gain.bindProperty(linear);

    gain.updateProperties(-6.0f);
    EXPECT_NEAR(linear.get(), 0.501187f, 1e-5f);
    EXPECT_EQ(dsp.calls, 1);
    gain.updateProperties(-6.0f);
    EXPECT_EQ(dsp.calls, 1);
    gain.updateProperties(36.0f); // 63.1 clamps to the property's 10
    EXPECT_EQ(linear.get(), 10.0f);
    EXPECT_EQ(gain.valueToText(-6.0f), "-6.000 dB");
    gain.getDisplay().setUnit("");
    EXPECT_EQ(gain.valueToText(-6.0f), "-6.000");

    // Mix: 0..100 shown through display range -1..1 and outer (x + 1) * 50.
    LimFloatPropPluginParameter mix(&owner, "Mix");
    mix.setRange(0.0f, 100.0f);
    mix.setDisplayRange(-1.0f, 1.0f);
    mix.getDisplay().setOuter([](float x) { return (x + 1.0f) * 50.0f; });
    mix.getDisplay().setUnit("%");
    EXPECT_EQ(mix.valueToText(75.0f), "75.000 %");
    LimitedProperty<float> mixSignal(&dsp, 1.0f, -1.0f, 0.0f);
    mix.bindProperty(mixSignal);
    mix.updateProperties(25.0f);
    EXPECT_FLOAT_EQ(mixSignal.get(), -0.5f);

    // The plain float version pushes the value unchanged and prints %.15lg.
    GenericPropPluginParameter<LimitedProperty<float>, FloatPluginParameter> peak(&owner, "Peak");
    LimitedProperty<float> peakProperty(nullptr, 1.0f, 0.0f, 0.0f);
    peak.bindProperty(peakProperty);
    peak.updateProperties(0.3f);
    EXPECT_EQ(peakProperty.get(), 0.3f);
    EXPECT_EQ(peak.valueToText(0.1f), "0.100000001490116");

    // Enumerations push the T of the position.
    PropPluginParameter<Response> response(&owner, "Response");
    response.setRange(0, 2);
    Property<Response> a(&dsp, Response::LP), b(nullptr, Response::LP);
    response.bindProperty(a);
    response.bindProperty(b);
    const int before = dsp.calls;
    response.updateProperties(2.0f);
    EXPECT_EQ(a.get(), Response::BP);
    EXPECT_EQ(b.get(), Response::BP);
    EXPECT_EQ(dsp.calls, before + 1);
    response.updateProperties(9.0f); // clamped to the last position
    EXPECT_EQ(a.get(), Response::BP);
}
