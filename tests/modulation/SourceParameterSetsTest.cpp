#include "modulation/EFParameterSet.h"
#include "modulation/EGParameterSet.h"
#include "modulation/EnvelopeFollower.h"
#include "modulation/EnvelopeGenerator.h"
#include "modulation/MidiModSource.h"
#include "modulation/MidiSourceParameterSet.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationMatrixPlugin.h"
#include "modulation/SourceDisplayCurves.h"
#include "modulation/Trigger.h"
#include "modulation/XLFO.h"
#include "modulation/XLFOFreqController.h"
#include "modulation/XLFOParameterSetList.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The source part of the effect: the four lists in host order, the matrix,
// every source wired to its targets and bound to its parameters.
class SourcesPlugin : public ModulationMatrixPlugin {
public:
    SourcesPlugin() : xlfoList(*this), egList(*this), efList(*this), midiList(*this)
    {
        createSlotList();
        initialize("Sources");
        wave::Graph& g = getGraph();
        matrix = std::make_unique<ModulationMatrix>(g);
        ModulationLayout::registerStandard(*matrix);
        auto target = [this](int t) { return &matrix->getTargetController(t); };
        for (int i = 0; i < 6; ++i) {
            auto& x = *xlfos.emplace_back(std::make_unique<XLFO>(g));
            auto& c = *controllers.emplace_back(
                std::make_unique<XLFOFreqController>(g, x, target(16 + 3 * i), target(17 + 3 * i)));
            x.getFrequencyInput().connect(&c);
            x.getGlideInput().connect(target(18 + 3 * i));
            xlfoList[i].bind(x, c);
            matrix->setSourceOutput(i, &x);
        }
        for (int i = 0; i < 6; ++i) {
            auto& t = *triggers.emplace_back(std::make_unique<Trigger>(g));
            auto& eg = *egs.emplace_back(std::make_unique<EnvelopeGenerator>(g, &t));
            eg.getAttackInput().connect(target(34 + 4 * i));
            eg.getDecayInput().connect(target(35 + 4 * i));
            eg.getSustainInput().connect(target(36 + 4 * i));
            eg.getReleaseInput().connect(target(37 + 4 * i));
            egList[i].bind(eg, t);
            matrix->setSourceOutput(6 + i, &eg);
        }
        for (int i = 0; i < 4; ++i) {
            auto& ef = *efs.emplace_back(std::make_unique<EnvelopeFollower>(g));
            ef.getAttackInput().connect(target(58 + 2 * i));
            ef.getReleaseInput().connect(target(59 + 2 * i));
            matrix->setSourceOutput(12 + i, &ef);
        }
        for (int i = 0; i < 10; ++i) {
            auto& m = *midi.emplace_back(std::make_unique<MidiModSource>(g));
            midiList[i].bind(m);
            matrix->setSourceOutput(16 + i, &m);
        }
        applyAllParameters();
    }
    ~SourcesPlugin() override
    {
        terminate();
        // Each XLFO reads its frequency controller, which goes first.
        for (auto& x : xlfos)
            x->getFrequencyInput().connect(nullptr);
    }

    std::string presetMagic() const override { return "Test"; }
    ModulationMatrix* getModulationMatrix() override { return matrix.get(); }

    // Lets the audio thread apply the queued changes and run the sources
    // for a while (every source is pulled, as the matrix would).
    void run(int samples)
    {
        applyQueuedChanges();
        for (int done = 0; done < samples; done += 480) {
            getGraph().nextFrame();
            for (auto& x : xlfos)
                x->pull(480);
            for (auto& e : egs)
                e->pull(480);
            for (auto& f : efs)
                f->pull(480);
            getGraph().advance(480);
        }
    }
    AbstractPluginParameter& byName(const std::string& name) const
    {
        const int index = findParameter(name);
        EXPECT_GE(index, 0) << name;
        return *getParameter(index);
    }

    XLFOParameterSetList xlfoList;
    EGParameterSetList egList;
    EFParameterSetList efList;
    MidiSourceParameterSetList midiList;
    std::unique_ptr<ModulationMatrix> matrix;
    std::vector<std::unique_ptr<XLFO>> xlfos;
    std::vector<std::unique_ptr<XLFOFreqController>> controllers;
    std::vector<std::unique_ptr<Trigger>> triggers;
    std::vector<std::unique_ptr<EnvelopeGenerator>> egs;
    std::vector<std::unique_ptr<EnvelopeFollower>> efs;
    std::vector<std::unique_ptr<MidiModSource>> midi;
};

} // namespace

// The texts the editor, the renderer and the LV2 port labels show: the
// default's, then those of some plain values, the display curves between
// their corner points. (The host order is the effect's test's.)
TEST(SourceParameterSets, DisplayTexts)
{
    SourcesPlugin p;
    auto texts = [&](const std::string& name, std::initializer_list<float> plains) {
        std::string joined = p.byName(name).getText();
        for (float plain : plains)
            joined += " | " + p.byName(name).valueToText(plain);
        return joined;
    };
    // 0.8 is 0.02 + 499.98 * 0.1; envelope times 3 * 0.1 and 5 * 0.46.
    EXPECT_EQ(texts("XLFO 1 Frequency", {0.0f, 0.8f, 1.0f}), "1.000 Hz | 0.020 Hz | 50.018 Hz | 500.000 Hz");
    EXPECT_EQ(texts("XLFO 1 Frequency Offset", {-1.0f, 1.0f}), "1.000 | 0.500 | 2.000");
    EXPECT_EQ(texts("XLFO 1 Balance", {}), "0.500");
    EXPECT_EQ(texts("XLFO 1 Glide", {}), "0.000");
    EXPECT_EQ(texts("XLFO 1 Sync Mode", {7.0f}), "Free | 1/4");
    EXPECT_EQ(texts("XLFO 1 MIDI Trigger", {}), "Off");
    EXPECT_EQ(texts("XLFO 6 Step 16 Glide function", {3.0f}), "Linear | Sine");
    EXPECT_EQ(texts("XLFO 6 Step 16 Random", {1.0f}), "Fixed | Random");
    EXPECT_EQ(texts("EG 1 Threshold", {0.9f}), "0.072 | 0.910");
    EXPECT_EQ(texts("EG 2Triggering", {2.0f}), "Normal Input | MIDI");
    EXPECT_EQ(texts("EG 3 Attack", {0.5f}), "0.000 s | 0.300 s");
    EXPECT_EQ(texts("EG 3 Decay", {1.0f}), "0.000 s | 5.000 s");
    EXPECT_EQ(texts("EG 3 Release", {0.9f}), "0.000 s | 2.300 s");
    EXPECT_EQ(texts("EG 4 Sustain", {0.5f}), "0.000 dB | -6.021 dB");
    EXPECT_EQ(texts("EF 1Input", {1.0f}), "Normal Input | Side Chain");
    EXPECT_EQ(texts("EF 2 Attack", {1.0f}), "0.001 s | 1.000 s");
    EXPECT_EQ(texts("EF 2 Release", {1.0f}), "0.050 s | 5.000 s");
    EXPECT_EQ(texts("MIDI Source 10 Input", {4.0f}), "Mod Wheel | KB Track");
    EXPECT_EQ(texts("MIDI Source 10 Controller Number", {}), "0");
    EXPECT_FLOAT_EQ(SourceDisplayCurves::envelopeTime(0.975f), 0.7933333f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::threshold(-0.3f), -0.072f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::xlfoFrequency(0.99f), 1.0f);
    EXPECT_FLOAT_EQ(SourceDisplayCurves::xlfoFrequency(-0.5f), 0.0f);
}

TEST(SourceParameterSets, ValuesReachTheSourcesAndTheMatrix)
{
    SourcesPlugin p;
    p.xlfoList.getNumActiveParameter().setValue(2, 0);
    p.xlfoList[1].balance.setValue(0.25f, 0);
    p.xlfoList[1].syncMode.setValue(7, 0);
    p.xlfoList[1].midiTrigger.setValue(1, 0);
    p.xlfoList[1].getSteps().getNumActiveParameter().setValue(5, 0);
    p.xlfoList[1].getSteps()[4].value.setValue(-0.5f, 0);
    p.xlfoList[1].getSteps()[4].glideFunction.setValue(2, 0);
    p.xlfoList[1].getSteps()[4].random.setValue(1, 0);
    p.xlfoList[0].frequency.setValue(1.0f, 0);
    p.egList[0].threshold.setValue(0.5f, 0);
    p.egList[0].triggering.setValue(2, 0);
    p.egList[0].attack.setValue(0.5f, 0);
    p.efList[1].release.setValue(1.0f, 0);
    p.midiList[3].input.setValue(5, 0);
    p.midiList[3].controllerNumber.setValue(74, 0);
    p.run(48000);

    XLFO& x = *p.xlfos[1];
    EXPECT_EQ(x.balance.get(), 0.25f);
    EXPECT_EQ(p.controllers[1]->syncMode.get(), SyncMode::SyncQuarterBar);
    EXPECT_TRUE(x.midiTrigger.get());
    EXPECT_EQ(x.numSteps.get(), 5);
    EXPECT_EQ(x.getStep(4).value.get(), -0.5f);
    EXPECT_EQ(x.getStep(4).glideCurve.get(), XLFO::GlideCurve::Sqrt);
    EXPECT_TRUE(x.getStep(4).random.get());
    EXPECT_EQ(p.triggers[0]->threshold.get(), 0.16f);
    EXPECT_EQ(p.egs[0]->triggering.get(), Triggering::Midi);
    EXPECT_FALSE(p.triggers[0]->enabled.get());
    EXPECT_EQ(p.midi[3]->input.get(), MidiModSource::MidiInput::Controller);
    EXPECT_EQ(p.midi[3]->controllerNumber.get(), 74);

    // The targets carry display values: 500 Hz, 0.3 s, 5 s.
    EXPECT_FLOAT_EQ(p.matrix->getTargetEntry(16).base, 500.0f);
    EXPECT_FLOAT_EQ(p.matrix->getTargetEntry(34).base, 0.3f);
    EXPECT_FLOAT_EQ(p.matrix->getTargetEntry(61).base, 5.0f);
    EXPECT_FLOAT_EQ(p.matrix->getTargetEntry(17).base, 1.0f);
    EXPECT_FLOAT_EQ(p.matrix->getTargetEntry(36).base, 1.0f);
    // The EG reads its attack through the matrix at its next start.
    p.egs[0]->midiStart();
    p.run(480);
    EXPECT_FLOAT_EQ(p.egs[0]->getAttack(), 0.3f);
    // And an XLFO at 500 Hz with 16 steps is fast.
    p.xlfoList[0].getSteps().getNumActiveParameter().setValue(16, 0);
    p.run(480);
    EXPECT_TRUE(p.xlfos[0]->isFast());
}

TEST(SourceParameterSets, RemovingAnXLFOMovesItsSteps)
{
    SourcesPlugin p;
    p.xlfoList.getNumActiveParameter().setValue(3, 0);
    XLFOParameterSet& third = p.xlfoList[2];
    third.balance.setValue(0.1f, 0);
    third.getSteps().getNumActiveParameter().setValue(7, 0);
    third.getSteps()[6].value.setValue(0.75f, 0);
    third.getSteps()[6].random.setValue(1, 0);
    p.xlfoList[1].getSteps()[0].value.setValue(-1.0f, 0);

    p.xlfoList.removeSet(1);
    EXPECT_EQ(p.xlfoList.getNumActive(), 2);
    XLFOParameterSet& second = p.xlfoList[1];
    EXPECT_FLOAT_EQ(second.balance.getValue(), 0.1f);
    EXPECT_EQ(second.getSteps().getNumActive(), 7);
    EXPECT_FLOAT_EQ(second.getSteps()[6].value.getValue(), 0.75f);
    EXPECT_EQ(second.getSteps()[6].random.getValue(), 1.0f);
    EXPECT_FLOAT_EQ(second.getSteps()[0].value.getValue(), 0.0f);
    // The set that fell off the end is back to its defaults, steps included.
    EXPECT_FLOAT_EQ(third.balance.getValue(), 0.5f);
    EXPECT_EQ(third.getSteps().getNumActive(), 2);
    EXPECT_FLOAT_EQ(third.getSteps()[6].value.getValue(), 0.0f);

    // Inserting after the first XLFO copies it, steps and all.
    p.xlfoList[0].getSteps()[3].value.setValue(0.25f, 0);
    p.xlfoList.insertSet(1);
    EXPECT_EQ(p.xlfoList.getNumActive(), 3);
    EXPECT_FLOAT_EQ(p.xlfoList[1].getSteps()[3].value.getValue(), 0.25f);
    EXPECT_EQ(p.xlfoList[2].getSteps().getNumActive(), 7);
    EXPECT_FLOAT_EQ(p.xlfoList[2].getSteps()[6].value.getValue(), 0.75f);
}
