#include "modulation/ModulationTargetParameter.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixPlugin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace {

float exp2f_(float x)
{
    return std::exp2(x);
}
float dbToGain(float db)
{
    return std::exp(db * 0.1151292546497023f);
}
float gainToDb(float g)
{
    return g > 1e-10f ? 20.0f * std::log10(g) : -180.0f;
}

// A filter frequency and an input gain, configured as the effect does.
class TargetPlugin final : public ModulationMatrixPlugin {
public:
    TargetPlugin() : freq(this, "Filter 1 Freq", *this, 0), gain(this, "Input Gain", *this, 66)
    {
        freq.setDisplayRange(2.2666f, 16.2064f);
        freq.getDisplay().setOuter(exp2f_);
        freq.getDisplay().setUnit("Hz");
        freq.setDefault(1.0f);
        freq.resetToDefault();
        gain.setRange(-36.0f, 36.0f);
        gain.getDisplay().setInner(dbToGain);
        gain.getDisplay().setOuter(gainToDb);
        gain.getDisplay().setUnit("dB");
        initialize("Test");
        matrix = std::make_unique<ModulationMatrix>(getGraph());
        ModulationLayout::registerStandard(*matrix);
        applyAllParameters();
    }
    ~TargetPlugin() override { terminate(); }
    ModulationMatrix* getModulationMatrix() override { return matrix.get(); }
    std::string presetMagic() const override { return "Test"; }

    ModulationTargetParameter freq;
    ModulationTargetParameter gain;
    std::unique_ptr<ModulationMatrix> matrix;
};

class PlainPlugin final : public GenericPlugin {
public:
    PlainPlugin() : level(this, "Level", *this, 3)
    {
        initialize("Plain");
        applyAllParameters();
    }
    ~PlainPlugin() override { terminate(); }
    std::string presetMagic() const override { return "Test"; }
    ModulationTargetParameter level;
};

} // namespace

TEST(ModulationTargetParameter, ShowsItsDisplayAndPushesTheInternalValue)
{
    TargetPlugin plugin;
    ModulationMatrix& m = *plugin.matrix;

    EXPECT_EQ(plugin.freq.valueToText(0.0f), "4.812 Hz");
    EXPECT_EQ(plugin.freq.valueToText(0.5f).substr(0, 4), "603.");
    EXPECT_EQ(plugin.gain.valueToText(6.0f), "6.000 dB");
    EXPECT_EQ(plugin.gain.valueToText(0.0f), "0.000 dB");
    EXPECT_EQ(plugin.freq.getTarget(), 0);
    EXPECT_EQ(plugin.freq.getPlugin(), &plugin);

    // The defaults reached the matrix when the plug-in applied them.
    EXPECT_FLOAT_EQ(m.getTargetEntry(0).base, 16.2064f);
    EXPECT_FLOAT_EQ(m.getTargetEntry(66).base, 1.0f);

    // A change reaches the matrix with the next block, in target units.
    plugin.freq.setValue(0.5f, 0);
    plugin.gain.setValue(6.0f, 0);
    EXPECT_FLOAT_EQ(m.getTargetEntry(0).base, 16.2064f);
    plugin.applyQueuedChanges();
    EXPECT_NEAR(std::exp2(m.getTargetEntry(0).base), 603.2, 0.1);
    EXPECT_NEAR(m.getTargetEntry(66).base, std::pow(10.0, 6.0 / 20.0), 1e-5);
    EXPECT_FLOAT_EQ(m.getTargetEntry(66).ramp.getTarget(), m.getTargetEntry(66).base);

    // Without a matrix behind the plug-in the parameter is a plain one.
    PlainPlugin plain;
    EXPECT_EQ(plain.level.getPlugin(), nullptr);
    plain.level.setValue(0.25f, 0);
    plain.applyQueuedChanges();
    EXPECT_EQ(plain.level.getValue(), 0.25f);
    EXPECT_EQ(plain.level.valueToText(0.25f), "0.250");
}
