// The editor in a window without a display, fed synthetic mouse input, with a
// plug-in whose host side records what a host would see: gestures begun and
// ended, and parameters reported changed.
#include "AllocationCounter.h"
#include "TestFiles.h"
#include "../filters/RoutingChannel.h"
#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/FilterController.h"
#include "editor/FilterPanel.h"
#include "editor/HelpHintWindow.h"
#include "editor/OstrandInterface.h"
#include "editor/ParameterBinding.h"
#include "editor/ParameterKnob.h"
#include "editor/RoutingDiagram.h"
#include "editor/SwitchControls.h"
#include "editor/modulation/MidiLearnController.h"
#include "editor/modulation/ModulatedFilterDots.h"
#include "editor/modulation/ModulationDragStage.h"
#include "editor/modulation/ModulationInterface.h"
#include "editor/modulation/ModulationRing.h"
#include "editor/modulation/ModulationScrollStrip.h"
#include "editor/modulation/SlotController.h"
#include "editor/modulation/SlotInterface.h"
#include "editor/modulation/SourceDragButton.h"
#include "editor/modulation/SourceInterface.h"
#include "editor/modulation/SourceSelectionBar.h"
#include "editor/modulation/XLFOController.h"
#include "editor/modulation/XLFOSourceInterface.h"
#include "effect/OstrandPlugin.h"
#include "framework/CompareStates.h"
#include "framework/GlobalSettings.h"
#include "framework/MidiControllerMap.h"
#include "framework/UndoHistory.h"
#include "gui/Bitmap.h"
#include "gui/HeadlessInterface.h"
#include "gui/Input.h"
#include "gui/Knob.h"
#include "gui/Label.h"
#include "gui/RootControl.h"
#include "modulation/ModMatrixParamController.h"
#include "modulation/ModulationMatrix.h"
#include "modulation/ModulationSlotParameterSetList.h"
#include "modulation/XLFOParameterSet.h"
#include "persistence/PresetLibrary.h"
#include "persistence/SectionPresets.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <thread>
#include <tuple>

namespace {

// What the host hears, in order: "begin 8", "end 8".
struct RecordingHost final : GenericPlugin::Adapter {
    std::vector<std::string> gestures;
    std::vector<int> changed;
    void parameterChanged(int index) override { changed.push_back(index); }
    void presetChanged() override {}
    void beginGesture(int index) override { gestures.push_back("begin " + std::to_string(index)); }
    void endGesture(int index) override { gestures.push_back("end " + std::to_string(index)); }
};

struct EditorRig {
    OstrandPlugin plugin;
    RecordingHost host;
    gui::HeadlessInterface ui{640, 522};
    OstrandInterface editor;

    EditorRig() : editor(ui, (plugin.setAdapter(&host), plugin)) { editor.refresh(); }
    ~EditorRig() { plugin.setAdapter(nullptr); }

    gui::RootControl& root() { return ui.root(); }
    FilterController& display() { return editor.display(); }
    ModulationInterface& area() { return editor.modulation(); }
    FilterParameterSet& filter(int n) { return plugin.filters[n]; }
    int undoCount() { return plugin.getUndoHistory()->getUndoCount(); }

    // A dot's position in window coordinates.
    gui::Point dotAt(int n)
    {
        const gui::PointF p = display().dots()[static_cast<std::size_t>(n)].position;
        const gui::Point origin = display().toRoot({0, 0});
        return {origin.x + static_cast<int>(std::lround(p.x)), origin.y + static_cast<int>(std::lround(p.y))};
    }

    // Presses at `from`, moves through the points given, releases at the
    // last one, with the modifier keys held throughout.
    void drag(gui::Point from, std::vector<gui::Point> path, int keys = 0)
    {
        root().mouseMoveAt(from, keys);
        root().mouseDownAt(gui::MouseButton::Left, from, gui::Modifier::LeftButton | keys);
        gui::Point last = from;
        for (gui::Point p : path) {
            ui.advance(20);
            root().mouseMoveAt(p, gui::Modifier::LeftButton | keys);
            last = p;
        }
        root().mouseUpAt(gui::MouseButton::Left, last, keys);
        editor.refresh();
    }
    void click(gui::Point at, int keys = 0) { drag(at, {}, keys); }
    // A drag with a few steps on the way, as a hand makes it.
    void dragBetween(gui::Point from, std::vector<gui::Point> via, gui::Point to, int keys = 0)
    {
        via.push_back({(from.x + to.x) / 2, (from.y + to.y) / 2 + 3});
        via.push_back(to);
        drag(from, via, keys);
    }

    // The middle of a control, or of a knob's dial, in window coordinates.
    static gui::Point centreOf(const gui::Control& c)
    {
        if (const auto* knob = dynamic_cast<const gui::Knob*>(&c)) {
            const gui::Point o = knob->toRoot({0, 0});
            return {o.x + static_cast<int>(knob->style().centre.x), o.y + static_cast<int>(knob->style().centre.y)};
        }
        return c.toRoot({c.width() / 2, c.height() / 2});
    }

    // Blocks of silence through the plug-in: the changes reach the audio,
    // which works out the slots and publishes levels and live values; then
    // the editor's timers read them.
    void runAudio(int blocks = 1, int size = 256)
    {
        std::vector<float> in(static_cast<std::size_t>(size)), left(in.size()), right(in.size());
        const float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {left.data(), right.data()};
        for (int i = 0; i < blocks; ++i)
            plugin.process(inputs, 2, outputs, 2, size);
        editor.refresh();
        ui.advance(ModulationInterface::tickInterval + 1);
    }

    // Sets parameters as a preset or the host would, then lets the editor
    // catch up.
    void set(AbstractPluginParameter& p, float plain)
    {
        p.setValue(plain, 0);
        editor.refresh();
    }

    // The message shown in a box over the editor, or an empty text.
    std::string message()
    {
        std::string found;
        visit(root(), [&](gui::Control& c) {
            if (auto* label = dynamic_cast<gui::Label*>(&c); label && label->isShown() && label->text.get().size() > 20)
                found = label->text.get();
        });
        return found;
    }
    void dismissMessage()
    {
        root().keyDown({gui::KeyCode::Enter, "", 0});
        ui.deletePending();
    }

    // Picks the n-th enabled item (from 0) of the menu that is open; a
    // negative n counts from the end (-1 is the last).
    void chooseFromMenu(int n)
    {
        root().children().back()->takeFocus();
        for (int i = 0; i < (n < 0 ? -n : n + 1); ++i)
            root().keyDown({n < 0 ? gui::KeyCode::Up : gui::KeyCode::Down, "", 0});
        root().keyDown({gui::KeyCode::Enter, "", 0});
        ui.deletePending();
        editor.refresh();
    }

    template <typename F> static void visit(gui::Control& c, F&& f)
    {
        f(c);
        for (gui::Control* child : c.children())
            visit(*child, f);
    }
};

} // namespace

using gui::Modifier::Alt;
using gui::Modifier::Control;
using gui::Modifier::Shift;
using StepSlider = XLFOController::StepSlider;

// The editor frame: undo points, gestures, linked knobs, outside changes and help hints.

namespace {

// Moves the mouse up by `pixels` in 10-pixel steps, quickly enough for the
// full rate (a full range per 200 pixels).
std::vector<gui::Point> upwards(gui::Point from, int pixels)
{
    std::vector<gui::Point> path;
    for (int moved = 10; moved <= pixels; moved += 10)
        path.push_back({from.x, from.y - moved});
    return path;
}

struct OpeningRecorder : gui::HeadlessInterface {
    using gui::HeadlessInterface::HeadlessInterface;
    std::vector<std::string> opened;
    bool openExternally(const std::string& target) override
    {
        opened.push_back(target);
        return true;
    }
};

} // namespace

TEST(EditorFrame, KnobGesturesReachTheHostAndTakeOneUndoStepOnlyWhenTheyChangeSomething)
{
    EditorRig rig;
    ParameterKnob& peak = *rig.editor.filterPanel().peak;
    FilterParameterSet& f1 = rig.filter(0);
    const std::string index = std::to_string(f1.peak.getIndex());
    const int undoBefore = rig.undoCount();

    rig.click(EditorRig::centreOf(peak));
    EXPECT_EQ(rig.host.gestures, (std::vector<std::string>{"begin " + index, "end " + index}));
    EXPECT_EQ(rig.undoCount(), undoBefore);

    rig.host.gestures.clear();
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 100));
    EXPECT_NEAR(f1.peak.getNormalized(), 0.5f, 1e-3f);
    EXPECT_EQ(rig.host.gestures, (std::vector<std::string>{"begin " + index, "end " + index}));
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);

    // Linked filters follow under Alt by the same share of their range, and
    // the host hears a gesture on each.
    rig.set(rig.plugin.filters.getNumActiveParameter(), 2.0f);
    FilterParameterSet& f2 = rig.filter(1);
    rig.set(f2.peak, 0.2f);
    rig.set(f1.linked, 1.0f);
    rig.set(f2.linked, 1.0f);
    rig.host.gestures.clear();
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 40), gui::Modifier::Alt);
    EXPECT_NEAR(f1.peak.getNormalized(), 0.7f, 1e-3f);
    EXPECT_NEAR(f2.peak.getNormalized(), 0.4f, 1e-3f);
    const std::string other = std::to_string(f2.peak.getIndex());
    EXPECT_EQ(rig.host.gestures,
              (std::vector<std::string>{"begin " + index, "begin " + other, "end " + index, "end " + other}));
    // Without Alt the linked filter stays.
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 20));
    EXPECT_NEAR(f1.peak.getNormalized(), 0.8f, 1e-3f);
    EXPECT_NEAR(f2.peak.getNormalized(), 0.4f, 1e-3f);
}

// A and B keep their own edits; a switch is an undo step and undoing one
// returns to the side it left, Copy is none.
TEST(EditorFrame, CompareKeepsEachSidesEditsAndItsSwitchesAreUndoSteps)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    ParameterKnob& peak = *rig.editor.filterPanel().peak;
    GenericPlugin::CompareStates& compare = *rig.plugin.getCompareStates();
    auto press = [&](EditorButton& button) { rig.click(button.toRoot({5, 5})); };
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 60));
    const float inA = f1.peak.getValue();
    const int undoBefore = rig.undoCount();

    press(rig.editor.topBar().compare);
    EXPECT_EQ(compare.getCurrent(), 1);
    EXPECT_EQ(f1.peak.getValue(), 0.0f); // B still holds the state the editor opened with
    EXPECT_EQ(peak.value, 0);
    rig.drag(EditorRig::centreOf(peak), upwards(EditorRig::centreOf(peak), 20));
    const float inB = f1.peak.getValue();
    press(rig.editor.topBar().compare);
    EXPECT_EQ(f1.peak.getValue(), inA);
    EXPECT_EQ(rig.undoCount(), undoBefore + 3);
    rig.editor.undo();
    EXPECT_EQ(compare.getCurrent(), 1);
    EXPECT_EQ(f1.peak.getValue(), inB);
    EXPECT_TRUE(compare.wasChangedByUndo());

    press(rig.editor.topBar().copy);
    EXPECT_FALSE(compare.wasChangedByUndo());
    EXPECT_EQ(rig.undoCount(), undoBefore + 2);
    press(rig.editor.topBar().compare);
    EXPECT_EQ(compare.getCurrent(), 0);
    EXPECT_EQ(f1.peak.getValue(), inB);
}

TEST(EditorFrame, ChangesMadeElsewhereShowAfterTheNextRefresh)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    ParameterKnob& peak = *rig.editor.filterPanel().peak;

    // The listener may run on the audio thread (a parameter moved by MIDI):
    // it only marks, and allocates nothing.
    {
        testsupport::AllocationScope scope;
        rig.editor.changed(GenericPlugin::valuesChangedMask, f1.peak.getIndex());
        rig.editor.changed(GenericPlugin::presetChangedMask, 0);
        EXPECT_EQ(scope.count(), 0u);
    }

    std::thread elsewhere([&] { f1.peak.setValue(0.25f, 0); });
    elsewhere.join();
    EXPECT_EQ(peak.value, 0);
    rig.editor.refresh();
    EXPECT_EQ(peak.value, 1024);

    // The host set it without telling the listener.
    f1.peak.setValue(0.75f, 1);
    rig.editor.markChanged(f1.peak.getIndex());
    rig.editor.refresh();
    EXPECT_EQ(peak.value, 3072);

    // Another filter's panel shows its own values.
    rig.set(rig.plugin.filters.getNumActiveParameter(), 3.0f);
    rig.set(rig.filter(2).peak, 0.5f);
    rig.click(rig.editor.filterPanel().filterButtons[2]->toRoot({5, 5}));
    EXPECT_EQ(rig.editor.activeFilter(), 2);
    EXPECT_EQ(peak.value, 2048);
}

TEST(EditorFrame, HintsFollowTheSettingAndTheWelcomeShowsOnce)
{
    // After the first instance has read the user's settings.
    OstrandPlugin plugin;
    GlobalSettings& settings = GlobalSettings::shared();
    settings.showWelcomeHint = true;
    settings.showInteractiveHelp = false;
    {
        OpeningRecorder ui(640, 522);
        OstrandInterface editor(ui, plugin);
        EXPECT_TRUE(editor.hintWindow().visible);
        EXPECT_EQ(editor.hintWindow().text(), OstrandInterface::welcomeText);
        EXPECT_FALSE(settings.showWelcomeHint.get());

        // Resting on a knob with hints off shows nothing; the welcome goes
        // once the mouse moves on.
        const gui::Point knob = EditorRig::centreOf(*editor.filterPanel().delay);
        ui.root().mouseMoveAt(knob, 0);
        ui.advance(2000);
        EXPECT_FALSE(editor.hintWindow().visible);
        editor.runHelpItem(GenericPluginInterface::HelpItem::interactiveHints);
        EXPECT_TRUE(settings.showInteractiveHelp.get());
        ui.root().mouseMoveAt({knob.x + 1, knob.y}, 0);
        ui.root().mouseMoveAt({600, 480}, 0);
        ui.root().mouseMoveAt(knob, 0);
        ui.advance(1000);
        EXPECT_FALSE(editor.hintWindow().visible);
        ui.advance(600);
        EXPECT_TRUE(editor.hintWindow().visible);
        EXPECT_EQ(editor.hintWindow().text(), plugin.filters[0].delay.getHelpText());

        editor.runHelpItem(GenericPluginInterface::HelpItem::webSite);
        editor.runHelpItem(GenericPluginInterface::HelpItem::support);
        EXPECT_EQ(ui.opened, (std::vector<std::string>{GenericPluginInterface::webSiteAddress,
                                                       GenericPluginInterface::supportAddress}));
    }
    OpeningRecorder again(640, 522);
    OstrandInterface second(again, plugin);
    EXPECT_FALSE(second.hintWindow().visible);
}

TEST(EditorFrame, PresetMenuArrowsAndSaveAsWorkOnTheFilesInThePresetFolder)
{
    EditorRig rig;
    testsupport::ScratchFolder dir;
    PresetLibrary& library = PresetLibrary::shared();
    const std::string usersFolder = library.getPath();
    library.setPath(dir / "");
    GlobalSettings::shared().savePresetItemEnabled = true;
    FilterParameterSet& f1 = rig.filter(0);
    const gui::Point presets = rig.editor.topBar().presets.toRoot({5, 5});
    // The menu from its end: the Filters and Slots section submenus, Change
    // Preset Folder..., View Bank/Program Numbers, Save As...
    constexpr int filtersMenu = -2, saveAs = -5;
    auto choose = [&](std::initializer_list<int> items) {
        rig.click(presets);
        for (int item : items)
            rig.chooseFromMenu(item);
    };
    auto enter = [&](const std::string& name) {
        rig.root().keyDown({gui::KeyCode::Home, "", 0});
        for (int i = 0; i < 40; ++i)
            rig.root().keyDown({gui::KeyCode::Delete, "", 0});
        for (char c : name)
            rig.root().keyDown({gui::KeyCode::Character, std::string(1, c), 0});
        rig.root().keyDown({gui::KeyCode::Enter, "", 0});
        rig.ui.deletePending();
        rig.editor.refresh();
    };

    // Save As writes the file under the typed name and makes it the preset
    // the bar shows; a name in use is replaced only when the user agrees.
    rig.set(f1.peak, 0.25f);
    choose({saveAs});
    enter("Low");
    ASSERT_TRUE(std::filesystem::exists(dir / "Low.mvp"));
    EXPECT_EQ(rig.editor.topBar().presets.caption.get(), "Low");
    rig.set(f1.peak, 0.75f);
    choose({saveAs});
    enter("Loud");
    choose({saveAs});
    enter("Low");
    EXPECT_EQ(rig.message(), "A preset named \"Low\" exists. Replace it?");
    rig.root().keyDown({gui::KeyCode::Escape, "", 0});
    rig.ui.deletePending();

    // The menu lists the folder's presets by name and loads the one chosen
    // as an undo step; the arrows step through the folder.
    const int undoBefore = rig.undoCount();
    choose({0});
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);
    EXPECT_EQ(rig.editor.topBar().presets.caption.get(), "Loud");
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);
    rig.click(rig.editor.topBar().next.toRoot({5, 5}));
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.25f);
    EXPECT_EQ(rig.editor.topBar().presets.caption.get(), "Low");
    rig.click(rig.editor.topBar().previous.toRoot({5, 5}));
    rig.editor.undo();
    rig.editor.redo();
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);

    // A damaged file says so and changes nothing.
    std::ofstream(dir / "Broken.mvp") << "not a preset";
    library.presets().rescan();
    choose({0});
    EXPECT_EQ(rig.message(), presetLoadFailedMessage);
    rig.dismissMessage();
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);

    // The filters alone, saved as a section preset and loaded back over
    // other settings.
    choose({filtersMenu, -1});
    enter("Bright");
    rig.set(f1.peak, 0.5f);
    choose({filtersMenu, 0});
    EXPECT_FLOAT_EQ(f1.peak.getValue(), 0.75f);
    library.setPath(usersFolder);
    GlobalSettings::shared().savePresetItemEnabled = false;
}

// The filter display: dots against its mapping (x = 10 + 620 f, y = 10 + 243 (1 - p) in the 640 x 263
// display). (Gestures and undo of a drag as a host sees them: the LV2 UI's test, tests/host/lv2.)

namespace {

constexpr float tolerance = 1e-4f;

// Where a dot at normalized (f, p) sits in the window (the display is at
// (0, 34)), from the display's mapping.
gui::PointF windowPoint(float f, float p) { return {10.0f + 620.0f * f, 34.0f + 10.0f + 243.0f * (1.0f - p)}; }

} // namespace

TEST(FilterDisplay, DragsMoveTheDotAsOneGestureAndClicksStepSlopeAndResponseWithoutMovingIt)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    rig.set(f1.freq, 0.5f);
    rig.set(f1.peak, 0.5f);
    const gui::Point start = rig.dotAt(0);
    ASSERT_NEAR(start.x, windowPoint(0.5f, 0.5f).x, 0.5f);
    ASSERT_NEAR(start.y, windowPoint(0.5f, 0.5f).y, 0.5f);

    // Grabbed beside its centre, the dot moves by what the mouse moved; far
    // past the corners the values stop at the ends of their ranges. (The
    // gestures a host sees of a drag: the LV2 UI's test.)
    rig.drag({start.x + 3, start.y + 2}, {{start.x + 33, start.y - 8}, {start.x + 65, start.y - 22}});
    EXPECT_NEAR(f1.freq.getNormalized(), 0.5f + 62.0f / 620.0f, tolerance);
    EXPECT_NEAR(f1.peak.getNormalized(), 0.5f + 24.0f / 243.0f, tolerance);
    for (const auto& [to, freq, peak] : {std::tuple{gui::Point{-500, -500}, 0.0f, 1.0f}, {{2000, 2000}, 1.0f, 0.0f}}) {
        rig.drag(rig.dotAt(0), {to});
        EXPECT_EQ(f1.freq.getNormalized(), freq);
        EXPECT_EQ(f1.peak.getNormalized(), peak);
    }

    // Shift-clicks step the slope round, Ctrl-clicks the response; the mouse
    // wanders before the release and the dot stays.
    rig.set(f1.freq, 0.4f);
    rig.set(f1.peak, 0.3f);
    const int undoBefore = rig.undoCount();
    const std::tuple<int, AbstractPluginParameter*, float> clicks[] = {
        {Shift, &f1.slope, 2.0f},      {Shift, &f1.slope, 3.0f},      {Shift, &f1.slope, 1.0f},
        {Control, &f1.response, 1.0f}, {Control, &f1.response, 2.0f}, {Control, &f1.response, 0.0f}};
    for (const auto& [keys, parameter, expected] : clicks) {
        const gui::Point at = rig.dotAt(0);
        rig.drag(at, {{at.x + 25, at.y - 15}, {at.x - 30, at.y + 30}}, keys);
        EXPECT_EQ(parameter->getValue(), expected);
        EXPECT_NEAR(f1.freq.getNormalized(), 0.4f, tolerance);
        EXPECT_NEAR(f1.peak.getNormalized(), 0.3f, tolerance);
    }
    EXPECT_EQ(rig.undoCount(), undoBefore + 6);

    // A press and release that moves nothing is a gesture for the host but
    // no step for the history.
    rig.host.gestures.clear();
    rig.click(rig.dotAt(0));
    EXPECT_EQ(rig.host.gestures.size(), 4u);
    EXPECT_EQ(rig.undoCount(), undoBefore + 6);
}

TEST(FilterDisplay, LinkedFiltersMoveTogetherOrTurnAroundTheirCentre)
{
    EditorRig rig;
    rig.set(rig.plugin.filters.getNumActiveParameter(), 2.0f);
    FilterParameterSet& f1 = rig.filter(0);
    FilterParameterSet& f2 = rig.filter(1);
    auto place = [&](float freq1, float peak1, float freq2, float peak2) {
        rig.set(f1.freq, freq1);
        rig.set(f1.peak, peak1);
        rig.set(f2.freq, freq2);
        rig.set(f2.peak, peak2);
    };
    place(0.3f, 0.5f, 0.7f, 0.5f);

    // Unlinked, and with only one filter linked, Alt moves the dot alone.
    for (bool linkFirst : {false, true}) {
        rig.set(f1.linked, linkFirst ? 1.0f : 0.0f);
        const gui::Point at = rig.dotAt(0);
        rig.drag(at, {{at.x + 31, at.y}}, Alt);
        EXPECT_NEAR(f1.freq.getNormalized(), 0.35f, tolerance);
        EXPECT_NEAR(f2.freq.getNormalized(), 0.7f, tolerance);
        place(0.3f, 0.5f, 0.7f, 0.5f);
    }

    rig.set(f2.linked, 1.0f);
    ASSERT_EQ(rig.display().linkCount(), 2);
    EXPECT_NEAR(rig.display().linkCentre().x, 10.0f + 620.0f * 0.5f, 0.01f);

    // Alt drags the group as it is.
    gui::Point at = rig.dotAt(0);
    rig.drag(at, {{at.x + 31, at.y - 12}}, Alt);
    EXPECT_NEAR(f1.freq.getNormalized(), 0.35f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.75f, tolerance);
    EXPECT_NEAR(f1.peak.getNormalized() - 0.5f, 12.0f / 243.0f, tolerance);
    EXPECT_NEAR(f2.peak.getNormalized() - 0.5f, 12.0f / 243.0f, tolerance);

    // The link dot does the same without a modifier.
    place(0.3f, 0.5f, 0.7f, 0.5f);
    const gui::Point link{static_cast<int>(std::lround(rig.display().linkCentre().x)),
                          34 + static_cast<int>(std::lround(rig.display().linkCentre().y))};
    rig.drag(link, {{link.x - 62, link.y}});
    EXPECT_NEAR(f1.freq.getNormalized(), 0.2f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.6f, tolerance);

    // Alt+Ctrl turns the group: lifting the left dot lowers the right one
    // by as much (the two sit opposite each other around the centre), and
    // pulling it outwards spreads them both.
    place(0.3f, 0.5f, 0.7f, 0.5f);
    at = rig.dotAt(0);
    rig.drag(at, {{at.x, at.y - 20}, {at.x, at.y - 40}}, Alt | Control);
    EXPECT_NEAR(f1.peak.getNormalized() - 0.5f, 40.0f / 243.0f, tolerance);
    EXPECT_NEAR(f2.peak.getNormalized() - 0.5f, -40.0f / 243.0f, 2e-3f);
    EXPECT_NEAR(f1.freq.getNormalized(), 0.3f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.7f, 2e-3f);
    place(0.3f, 0.5f, 0.7f, 0.5f);
    at = rig.dotAt(0);
    rig.drag(at, {{at.x - 62, at.y}}, Alt | Control);
    EXPECT_NEAR(f1.freq.getNormalized(), 0.2f, tolerance);
    EXPECT_NEAR(f2.freq.getNormalized(), 0.8f, 2e-3f);
}

TEST(FilterDisplay, AddedFiltersStartBesideTheOthersAndCopyTheActiveFilter)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    rig.set(f1.characteristic, 3.0f);
    rig.set(f1.slope, 3.0f);
    const int undoBefore = rig.undoCount();
    for (int added = 1; added < 4; ++added) {
        rig.editor.addFilter();
        EXPECT_EQ(rig.plugin.filters.getNumActive(), added + 1);
        EXPECT_EQ(rig.editor.activeFilter(), added);
        const auto& dots = rig.display().dots();
        const auto& fresh = dots[static_cast<std::size_t>(added)];
        // A low-pass starts from the right: the first place along the bottom
        // whose dot covers none of the others.
        for (std::size_t other = 0; other < static_cast<std::size_t>(added); ++other)
            EXPECT_FALSE(fresh.rect.intersects(dots[other].rect)) << added;
        EXPECT_EQ(fresh.peak, 0.0f);
        EXPECT_GT(fresh.frequency, 0.8f);
        EXPECT_EQ(rig.filter(added).characteristic.getValue(), 3.0f);
        EXPECT_EQ(rig.filter(added).slope.getValue(), 3.0f);
    }
    rig.editor.addFilter();
    EXPECT_EQ(rig.plugin.filters.getNumActive(), 4);
    EXPECT_EQ(rig.undoCount(), undoBefore + 3);

    // Remove takes the active filter out; the last one stays.
    rig.editor.setActiveFilter(1);
    const float third = rig.filter(2).freq.getNormalized();
    rig.editor.removeFilter();
    EXPECT_EQ(rig.plugin.filters.getNumActive(), 3);
    EXPECT_EQ(rig.filter(1).freq.getNormalized(), third);
    for (int i = 0; i < 5; ++i)
        rig.editor.removeFilter();
    EXPECT_EQ(rig.plugin.filters.getNumActive(), 1);
    EXPECT_EQ(rig.display().dots().size(), 1u);
}

// The modulation area: sources, cables, slots, and the rings and dots that show modulation.
namespace {

ModulationSlotParameterSet& slot(EditorRig& rig, int i) { return (*rig.plugin.getSlotList())[i]; }
int slotsInUse(EditorRig& rig) { return rig.plugin.getSlotList()->getNumActive(); }

// The source's jack, its panel brought into the strip first.
gui::Point jackOf(EditorRig& rig, int source)
{
    rig.area().showSource(source, false);
    return EditorRig::centreOf(rig.area().panelOf(source).dragButton());
}

} // namespace

TEST(ModulationInterface, CablesDroppedOnKnobsMakeSlotsAndEverythingElseExplainsItself)
{
    EditorRig rig;
    // Add Source's menu: "XLFO", "Envelope Generator", ...
    for (int kind : {0, 1}) {
        rig.click(EditorRig::centreOf(rig.area().addSourceButton()));
        rig.chooseFromMenu(kind);
    }
    ASSERT_EQ(rig.plugin.egs.getNumActive(), 1);
    const int undoBefore = rig.undoCount();
    FilterPanel& filters = rig.editor.filterPanel();

    // XLFO 1 onto Filter 1 Freq: a slot at the level a new connection
    // starts with, its row sliding in, one undo step.
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*filters.freq));
    ASSERT_EQ(slotsInUse(rig), 1);
    EXPECT_EQ(slot(rig, 0).source.getSource(), 0);
    EXPECT_EQ(slot(rig, 0).target.getTarget(), 0);
    EXPECT_FLOAT_EQ(slot(rig, 0).level.getValue(), ModulationMatrixPlugin::newConnectionLevel);
    EXPECT_EQ(rig.area().slots().listed(), std::vector<int>{0});
    EXPECT_TRUE(rig.area().slots().row(0).arriving());
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);

    // On the way to the knob, filter 2's button makes filter 2 the one
    // whose knobs show: the slot goes to Filter 2 Freq.
    rig.set(rig.plugin.filters.getNumActiveParameter(), 2.0f);
    rig.dragBetween(jackOf(rig, 0), {EditorRig::centreOf(*filters.filterButtons[1])},
                    EditorRig::centreOf(*filters.freq));
    EXPECT_EQ(rig.editor.activeFilter(), 1);
    ASSERT_EQ(slotsInUse(rig), 2);
    EXPECT_EQ(slot(rig, 1).target.getTarget(), 4);

    // Hovering EG 1's button brings its panel into the strip; its Attack
    // takes the cable (target 34), and the slot's level knob another one.
    SourceSelectionBar::SourceButton& egButton = *rig.area().bar().buttonFor(6);
    const gui::Point egCentre = EditorRig::centreOf(egButton);
    rig.root().mouseMoveAt(jackOf(rig, 0), 0);
    rig.root().mouseDownAt(gui::MouseButton::Left, jackOf(rig, 0), gui::Modifier::LeftButton);
    rig.root().mouseMoveAt(egCentre, gui::Modifier::LeftButton);
    rig.ui.advance(400);
    gui::Control* attack = nullptr;
    EditorRig::visit(rig.area().panelOf(6), [&](gui::Control& c) {
        if (auto* knob = dynamic_cast<ParameterKnob*>(&c); knob && knob->caption.get() == "ATTACK")
            attack = knob;
    });
    ASSERT_NE(attack, nullptr);
    rig.root().mouseMoveAt(EditorRig::centreOf(*attack), gui::Modifier::LeftButton);
    EXPECT_TRUE(rig.area().dragStage().snapped().has_value());
    rig.root().mouseUpAt(gui::MouseButton::Left, EditorRig::centreOf(*attack), 0);
    rig.editor.refresh();
    ASSERT_EQ(slotsInUse(rig), 3);
    EXPECT_EQ(slot(rig, 2).source.getSource(), 0);
    EXPECT_EQ(slot(rig, 2).target.getTarget(), 34);
    rig.ui.advance(600);
    rig.dragBetween(jackOf(rig, 6), {}, EditorRig::centreOf(rig.area().slots().row(0).levelKnob()));
    ASSERT_EQ(slotsInUse(rig), 4);
    EXPECT_EQ(slot(rig, 3).target.getTarget(), ModulationMatrix::firstLevelTarget);

    // A filter's button can only be hovered: a drop there explains so and
    // changes nothing; so does a drop on a source's button.
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*filters.filterButtons[0]));
    EXPECT_EQ(rig.message(), ModulationInterface::hoverOnlyMessage);
    rig.dismissMessage();
    EXPECT_EQ(rig.message(), "");
    EXPECT_EQ(slotsInUse(rig), 4);
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*rig.area().bar().buttonFor(0)));
    EXPECT_EQ(rig.message(), ModulationInterface::hoverOnlyMessage);
    rig.dismissMessage();
    // A drop on nothing in particular does nothing at all.
    rig.dragBetween(jackOf(rig, 0), {}, {320, 150});
    EXPECT_EQ(rig.message(), "");
    EXPECT_EQ(slotsInUse(rig), 4);

    // With every slot in use a drop changes nothing and says why.
    rig.set(rig.plugin.getSlotList()->getNumActiveParameter(), 24.0f);
    const int lastTarget = slot(rig, 23).target.getTarget();
    rig.dragBetween(jackOf(rig, 0), {}, EditorRig::centreOf(*filters.peak));
    EXPECT_EQ(rig.message(), ModulationMatrixPlugin::noFreeSlotsMessage);
    EXPECT_EQ(slotsInUse(rig), 24);
    EXPECT_EQ(slot(rig, 23).target.getTarget(), lastTarget);
}

TEST(ModulationInterface, TheSelectorScrollsAfterFivePixelsAndOtherwiseClicksTheButtonUnderIt)
{
    EditorRig rig;
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 3.0f);
    rig.set(rig.plugin.egs.getNumActiveParameter(), 2.0f);
    ModulationScrollStrip& strip = rig.area().strip();
    SourceSelectionBar& bar = rig.area().bar();
    // Four pixels of movement on the selector over XLFO 3's button are a
    // click on it: its panel glides to the middle.
    strip.scrollTo(500, false);
    const gui::Point at = bar.toRoot({bar.buttonFor(2)->frame().left + 3, bar.height() / 2});
    ASSERT_EQ(rig.root().controlAt(at), &bar.selector());
    rig.drag(at, {{at.x + 4, at.y}});
    rig.ui.advance(ModulationScrollStrip::glideTime + 40);
    const SourceInterface& panel = rig.area().panelOf(2);
    EXPECT_EQ(strip.scroll(), std::min(strip.maxScroll(), panel.position().x + panel.width() / 2 - strip.width() / 2));
    // Five and more drag the strip by the movement times its width over the
    // bar's, what the division leaves carried along; the selector follows.
    strip.scrollTo(200, false);
    const gui::Point grab = bar.selector().toRoot({4, 4});
    rig.drag(grab, {{grab.x + 5, grab.y}, {grab.x + 10, grab.y}, {grab.x + 15, grab.y}, {grab.x + 23, grab.y}});
    EXPECT_EQ(strip.scroll(), 200 + 23 * strip.contentWidth() / bar.usedWidth());
    EXPECT_EQ(bar.selector().frame().left, static_cast<int>(std::lround(strip.scroll() * bar.scale())));
}

TEST(ModulationInterface, RemovingASourceClearsItsSlotsAndTheLaterSourceMovesIntoItsPlace)
{
    EditorRig rig;
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 2.0f);
    for (int target : {0, 2, 3})
        rig.plugin.addConnection(0, target);
    rig.plugin.addConnection(1, 1);
    rig.set(rig.plugin.xlfos[1].balance, 0.8f);
    rig.editor.refresh();
    EXPECT_EQ(rig.area().panelOf(0).slotsButton().caption.get(), "3 slots");

    rig.click(EditorRig::centreOf(rig.area().panelOf(0).removeButton()));
    EXPECT_EQ(rig.plugin.xlfos.getNumActive(), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(slot(rig, i).source.getSource(), -1) << "slot " << i;
    // XLFO 2 is XLFO 1 now, with its settings and its slot.
    EXPECT_EQ(slot(rig, 3).source.getSource(), 0);
    EXPECT_FLOAT_EQ(rig.plugin.xlfos[0].balance.getValue(), 0.8f);
    EXPECT_FALSE(rig.area().panelOf(1).isShown());

    // The emptied slots do nothing, and say so.
    rig.runAudio();
    EXPECT_TRUE(rig.area().slots().row(0).warningShown());
    EXPECT_FALSE(rig.area().slots().row(3).warningShown());
}

TEST(ModulationInterface, SlotAreaAddsSortsNarrowsAndRemoves)
{
    EditorRig rig;
    SlotController& slots = rig.area().slots();
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 2.0f);
    rig.plugin.addConnection(1, 2);
    rig.plugin.addConnection(0, 16); // XLFO 1 on its own frequency: never valid
    rig.plugin.addConnection(0, 0);
    rig.runAudio();
    EXPECT_TRUE(slots.row(1).warningShown());
    EXPECT_FALSE(slots.row(0).warningShown());
    // Bypassing is deliberate: no sign.
    rig.set(slot(rig, 1).bypass, 1.0f);
    rig.runAudio();
    EXPECT_FALSE(slots.row(1).warningShown());

    // Add Slot: an empty slot at the end, showing the empty texts.
    rig.click(EditorRig::centreOf(slots.addButton()));
    ASSERT_EQ(slotsInUse(rig), 4);
    rig.ui.advance(SlotInterface::arrivalTime);
    EXPECT_EQ(slots.row(3).sourceButton().choiceText(), "< Source >");
    EXPECT_EQ(slots.row(3).targetButton().choiceText(), "< Target >");
    // Its target from the menu: the first entry after "< Target >" is
    // Filter 1's submenu, whose third entry is Peak.
    rig.click(EditorRig::centreOf(slots.row(3).targetButton()));
    rig.chooseFromMenu(1);
    rig.chooseFromMenu(2);
    EXPECT_EQ(slot(rig, 3).target.getTarget(), 2);

    // Sort Slots groups by source, then target; empty sources last.
    rig.click(EditorRig::centreOf(slots.sortButton()));
    std::vector<std::pair<int, int>> order;
    for (int i = 0; i < slotsInUse(rig); ++i)
        order.emplace_back(slot(rig, i).source.getSource(), slot(rig, i).target.getTarget());
    EXPECT_EQ(order, (std::vector<std::pair<int, int>>{{0, 0}, {0, 16}, {1, 2}, {-1, 2}}));

    // Narrowed to XLFO 1 by its panel's count, then all again.
    rig.click(EditorRig::centreOf(rig.area().panelOf(0).slotsButton()));
    EXPECT_EQ(slots.listed(), (std::vector<int>{0, 1}));
    EXPECT_EQ(slots.contextBar().text(), "Slots connected to source XLFO 1");
    rig.click(EditorRig::centreOf(slots.row(0).targetButton()));
    rig.chooseFromMenu(-1);
    EXPECT_EQ(slots.contextBar().text(), "Slots connected to target Filter 1 Freq");
    EXPECT_EQ(slots.listed(), (std::vector<int>{0}));
    rig.click(EditorRig::centreOf(slots.showAllButton()));
    EXPECT_EQ(slots.listed().size(), 4u);

    // Remove Slot takes the slot out; the later ones move up.
    const int undoBefore = rig.undoCount();
    rig.click(EditorRig::centreOf(slots.row(0).removeButton()));
    EXPECT_EQ(slotsInUse(rig), 3);
    EXPECT_EQ(slot(rig, 0).target.getTarget(), 16);
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);
}

TEST(ModulationInterface, ModulatedKnobsShowTheirSweepAndTheDisplayTheLiveFilter)
{
    EditorRig rig;
    FilterParameterSet& f1 = rig.filter(0);
    rig.set(f1.freq, f1.freq.denormalize(0.5f));
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 1.0f);
    // A square wave: one step up, one down, 20 Hz.
    XLFOParameterSet& lfo = rig.plugin.xlfos[0];
    rig.set(lfo.getSteps()[0].value, 1.0f);
    rig.set(lfo.getSteps()[1].value, -1.0f);
    rig.set(lfo.frequency, lfo.frequency.denormalize(0.9f));
    rig.plugin.addConnection(0, 0, nullptr, 0.5f);
    rig.runAudio(4);

    ModulationRing* ring = nullptr;
    for (ModulationRing* r : rig.area().rings())
        if (r->parent() == rig.editor.filterPanel().freq)
            ring = r;
    ASSERT_NE(ring, nullptr);
    // An XLFO at level 0.5 reaches 0.5 x 6.3 octaves either way of the
    // base; the cut-off spans 2.2666 to 16.2064 in octaves.
    const float reach = 0.5f * 6.3f / (16.2064f - 2.2666f);
    ASSERT_TRUE(ring->sweep().modulated);
    EXPECT_NEAR(ring->sweep().low, 0.5f - reach, 2e-3f);
    EXPECT_NEAR(ring->sweep().high, 0.5f + reach, 2e-3f);
    // The square wave is at one of its two values at the end of a block.
    const float live = ring->sweep().live;
    EXPECT_TRUE(std::fabs(live - (0.5f - reach)) < 2e-3f || std::fabs(live - (0.5f + reach)) < 2e-3f) << live;

    // The display shows the filter where the modulation took it.
    const ModulatedFilterDots* dots = nullptr;
    for (gui::Control* c : rig.display().children())
        if (auto* d = dynamic_cast<const ModulatedFilterDots*>(c))
            dots = d;
    ASSERT_NE(dots, nullptr);
    ASSERT_TRUE(dots->isShown(0));
    EXPECT_NEAR(dots->position(0).x, rig.display().positionOf(live, f1.peak.getNormalized()).x, 0.5f);

    // An envelope at full level adds up to 10 octaves: the sweep is held
    // at the top of the range.
    rig.set(rig.plugin.egs.getNumActiveParameter(), 1.0f);
    rig.plugin.addConnection(6, 0, nullptr, 1.0f);
    rig.runAudio();
    EXPECT_NEAR(ring->sweep().low, 0.5f - reach, 2e-3f);
    EXPECT_FLOAT_EQ(ring->sweep().high, 1.0f);
    // Without slots no ring and no second dot.
    rig.plugin.getParamController()->clearSlotsOnTarget(0);
    rig.runAudio();
    EXPECT_FALSE(ring->sweep().modulated);
    EXPECT_FALSE(dots->isShown(0));
}

// The XLFO step editor.

namespace {

struct StepRig : EditorRig {
    explicit StepRig(int steps)
    {
        set(plugin.xlfos.getNumActiveParameter(), 1.0f);
        set(lfo().getSteps().getNumActiveParameter(), static_cast<float>(steps));
        area().showSource(0, false);
        ui.advance(XLFOController::ResizeAnimation::duration + 20);
    }
    XLFOParameterSet& lfo() { return plugin.xlfos[0]; }
    XLFOController& steps() { return static_cast<XLFOSourceInterface&>(area().panelOf(0)).steps(); }
    float value(int step) { return lfo().getSteps()[step].value.getValue(); }
    // The middle of a step's handle, and a point on its track away from it.
    gui::Point handle(int step)
    {
        const StepSlider& s = steps().slider(step);
        return s.toRoot({s.width() / 2, static_cast<int>(std::lround(s.handleY()))});
    }
    gui::Point track(int step)
    {
        const StepSlider& s = steps().slider(step);
        const int y = s.handleY() > s.height() / 2 ? 3 : s.height() - 3;
        return s.toRoot({s.width() / 2, y});
    }
    // The step the interface's Value knob is bound to.
    int interfaceStep()
    {
        const int bound = editor.bindingOf(steps().stepInterface().valueKnob())->parameterIndex();
        for (int s = 0; s < XLFOController::maxSteps; ++s)
            if (lfo().getSteps()[s].value.getIndex() == bound)
                return s;
        return -1;
    }
};

unsigned steps(std::initializer_list<int> list)
{
    unsigned mask = 0;
    for (int s : list)
        mask |= 1u << s;
    return mask;
}

} // namespace

TEST(XLFOController, SelectionFollowsCtrlShiftAndPlainClicks)
{
    StepRig rig(8);
    XLFOController& editor = rig.steps();

    // Steps 3 and 7: the interface shows step 7, the highest.
    rig.click(rig.handle(2));
    rig.click(rig.handle(6), gui::Modifier::Control);
    EXPECT_EQ(editor.selection(), steps({2, 6}));
    EXPECT_EQ(editor.currentStep(), 6);
    EXPECT_TRUE(editor.stepInterface().visible.get());
    EXPECT_EQ(rig.interfaceStep(), 6);
    // Ctrl-clicking step 7 again makes step 3 current.
    rig.click(rig.handle(6), gui::Modifier::Control);
    EXPECT_EQ(editor.selection(), steps({2}));
    EXPECT_EQ(rig.interfaceStep(), 2);
    // Shift extends from the current step.
    rig.click(rig.handle(5), gui::Modifier::Shift);
    EXPECT_EQ(editor.selection(), steps({2, 3, 4, 5}));

    // A click beside the handles deselects all, which hides the interface;
    // so does Hide.
    rig.click(rig.track(1));
    EXPECT_EQ(editor.selection(), 0u);
    EXPECT_FALSE(editor.stepInterface().visible.get());
    // Shift with nothing selected selects only the clicked step.
    rig.click(rig.handle(4), gui::Modifier::Shift);
    EXPECT_EQ(editor.selection(), steps({4}));
    rig.click(EditorRig::centreOf(editor.stepInterface().hideButton()));
    EXPECT_EQ(editor.selection(), 0u);

    // Two pixels of movement are still a click: the step is selected, its
    // value untouched; three are a drag.
    const float before = rig.value(1);
    const gui::Point h = rig.handle(1);
    rig.drag(h, {{h.x, h.y - 2}});
    EXPECT_EQ(editor.selection(), steps({1}));
    EXPECT_FLOAT_EQ(rig.value(1), before);
    rig.click(rig.track(1));
    rig.drag(h, {{h.x, h.y - 3}});
    EXPECT_EQ(editor.selection(), 0u);
    EXPECT_GT(rig.value(1), before);

    // A random step takes clicks only on its die's band.
    rig.set(rig.lfo().getSteps()[3].random, 1.0f);
    rig.set(rig.lfo().getSteps()[3].value, 0.9f);
    rig.click(rig.handle(3));
    EXPECT_EQ(editor.selection(), 0u);
    const StepSlider& random = editor.slider(3);
    rig.click(random.toRoot({random.width() / 2, random.height() / 2}));
    EXPECT_EQ(editor.selection(), steps({3}));
}

TEST(XLFOController, SelectedStepsMoveTogetherAndTakeTheInterfacesValues)
{
    StepRig rig(4);
    XLFOController& editor = rig.steps();
    rig.set(rig.lfo().getSteps()[0].value, 0.2f);
    rig.set(rig.lfo().getSteps()[2].value, -0.5f);
    rig.set(rig.lfo().getSteps()[3].value, 0.8f);
    rig.click(rig.handle(0));
    rig.click(rig.handle(2), gui::Modifier::Control);
    rig.click(rig.handle(3), gui::Modifier::Control);
    const int undoBefore = rig.undoCount();

    // Dragging step 1 up by a quarter of its travel: every selected step
    // moves by the same amount, step 4 stops at the top.
    const StepSlider& s = editor.slider(0);
    const int quarter = (s.height() - StepSlider::handleHeight) / 4;
    const gui::Point h = rig.handle(0);
    rig.drag(h, {{h.x, h.y - quarter / 2}, {h.x, h.y - quarter}});
    const float moved = rig.value(0) - 0.2f;
    EXPECT_NEAR(moved, 0.5f, 0.05f);
    EXPECT_NEAR(rig.value(2), -0.5f + moved, 1e-3f);
    EXPECT_FLOAT_EQ(rig.value(3), 1.0f);
    EXPECT_FLOAT_EQ(rig.value(1), 0.0f);
    EXPECT_EQ(rig.undoCount(), undoBefore + 1);
    // The interface went back to the current step after following step 1.
    EXPECT_EQ(rig.interfaceStep(), 3);

    // Random from the interface: every selected step.
    rig.click(EditorRig::centreOf(editor.stepInterface().randomSwitch()));
    for (int step : {0, 2, 3})
        EXPECT_FLOAT_EQ(rig.lfo().getSteps()[step].random.getValue(), 1.0f) << step;
    EXPECT_FLOAT_EQ(rig.lfo().getSteps()[1].random.getValue(), 0.0f);
    // The Value knob's reset (Ctrl-click) sets 0, the middle, for all.
    rig.click(EditorRig::centreOf(editor.stepInterface().valueKnob()), gui::Modifier::Control);
    for (int step : {0, 2, 3})
        EXPECT_FLOAT_EQ(rig.value(step), 0.0f) << step;
}

TEST(XLFOController, AddAndRemoveStepKeepToTheirLimits)
{
    StepRig rig(4);
    XLFOController& editor = rig.steps();
    auto count = [&] { return rig.lfo().getSteps().getNumActive(); };
    rig.set(rig.lfo().getSteps()[1].value, -0.7f);

    // After the current step, as a copy of it; the new step is selected.
    rig.click(rig.handle(1));
    rig.click(EditorRig::centreOf(editor.addStepButton()));
    EXPECT_EQ(count(), 5);
    EXPECT_FLOAT_EQ(rig.value(2), -0.7f);
    EXPECT_EQ(editor.selection(), steps({2}));
    // The sliders share the width again, after the resize animation.
    EXPECT_TRUE(editor.slider(4).visible.get());
    rig.ui.advance(XLFOController::ResizeAnimation::duration + 20);
    EXPECT_EQ(editor.slider(4).frame().right, editor.width() - 1);

    // With all selected, Remove Step leaves exactly one step.
    rig.click(rig.handle(0));
    rig.click(rig.handle(4), gui::Modifier::Shift);
    rig.click(EditorRig::centreOf(editor.removeStepButton()));
    EXPECT_EQ(count(), 1);
    EXPECT_FALSE(editor.slider(1).visible.get());
    // The step left is still selected, and the interface shows it.
    EXPECT_EQ(editor.currentStep(), 0);
    EXPECT_EQ(rig.interfaceStep(), 0);
    // None selected: the last step goes, but never the only one.
    rig.set(rig.lfo().getSteps().getNumActiveParameter(), 3.0f);
    rig.click(EditorRig::centreOf(editor.stepInterface().hideButton()));
    rig.click(EditorRig::centreOf(editor.removeStepButton()));
    EXPECT_EQ(count(), 2);

    // Sixteen steps: Add Step does nothing.
    rig.set(rig.lfo().getSteps().getNumActiveParameter(), 16.0f);
    const int undoBefore = rig.undoCount();
    rig.click(EditorRig::centreOf(editor.addStepButton()));
    EXPECT_EQ(count(), 16);
    EXPECT_EQ(rig.undoCount(), undoBefore);
}

// MIDI learn in the editor, MIDI fed through the plug-in's own input. (That a learned controller
// moves every instance is the LV2 UI's test.)

namespace {

void controlChange(EditorRig& rig, int controller, int value)
{
    rig.plugin.queueMidiEvent(0, 0xB0, controller, value);
    rig.runAudio(1, 64);
}

} // namespace

TEST(MidiLearn, AControlClickedInLearnModeLearnsTheNextController)
{
    EditorRig rig;
    MidiLearnController& learn = rig.area().midiLearn();
    EditorButton& button = rig.editor.topBar().learn;
    ParameterKnob& freq = *rig.editor.filterPanel().freq;
    const int freqIndex = rig.filter(0).freq.getIndex();
    rig.set(rig.plugin.xlfos.getNumActiveParameter(), 3.0f);
    rig.area().showSource(0, false);

    const gui::Point field{320, 150};
    const gui::Point knob = EditorRig::centreOf(freq);
    const gui::Bitmap& screen = rig.ui.render();
    const gui::Pixel fieldBefore = screen.pixelAt(field.x, field.y), knobBefore = screen.pixelAt(knob.x, knob.y);

    rig.click(EditorRig::centreOf(button));
    ASSERT_TRUE(learn.active());
    EXPECT_TRUE(button.lit.get());
    EXPECT_EQ(learn.status(), MidiLearnController::clickText);
    // Everything is dimmed but the learnable controls.
    rig.ui.render();
    EXPECT_LT(gui::greenOf(screen.pixelAt(field.x, field.y)), gui::greenOf(fieldBefore));
    EXPECT_EQ(screen.pixelAt(knob.x, knob.y), knobBefore);
    // Only what is in view learns: XLFO 1's knobs, not XLFO 3's, which
    // are scrolled out of the strip; and the two link items.
    auto learnable = [&](int id) {
        return std::any_of(learn.learnables().begin(), learn.learnables().end(),
                           [id](const MidiLearnController::Learnable& l) { return l.id == id; });
    };
    EXPECT_TRUE(learnable(freqIndex));
    EXPECT_TRUE(learnable(rig.plugin.xlfos[0].frequency.getIndex()));
    EXPECT_FALSE(learnable(rig.plugin.xlfos[2].frequency.getIndex()));
    EXPECT_TRUE(learnable(rig.plugin.getLinkFreq().getIndex()));
    EXPECT_EQ(learn.controllerOf(freqIndex), -1);

    // Click the knob, move controller 7: the status says what happens, and
    // the next control can be chosen.
    rig.click(knob);
    EXPECT_EQ(learn.status(), std::string(MidiLearnController::moveText) + " Filter 1 Freq");
    controlChange(rig, 7, 127);
    rig.ui.advance(MidiLearnController::pollInterval + 1);
    EXPECT_EQ(learn.controllerOf(freqIndex), 7);
    EXPECT_EQ(learn.status(), MidiLearnController::clickText);

    // The linked filters' frequency has an item of its own.
    const MidiLearnController::Item link{rig.plugin.getLinkFreq().getIndex(), "", {}};
    for (const MidiLearnController::Learnable& l : learn.learnables())
        if (l.id == link.id)
            rig.click(learn.toRoot({(l.area.left + l.area.right) / 2, (l.area.top + l.area.bottom) / 2}));
    controlChange(rig, 8, 50);
    EXPECT_EQ(GenericPlugin::getSharedControllerMap()->get(8), link.id);

    // The learn button still works through the overlay and leaves the mode.
    rig.click(EditorRig::centreOf(button));
    EXPECT_FALSE(learn.active());
    EXPECT_FALSE(button.lit.get());
    rig.ui.render();
    EXPECT_EQ(screen.pixelAt(field.x, field.y), fieldBefore);
}

TEST(MidiLearn, TheMidiMenuClearsOneOrEveryAssociationAndSwitchesMidiControlOff)
{
    // Save and Revert against the file are driven through the LV2 UI
    // (tests/host/lv2/Lv2ModulationUiTest.cpp).
    EditorRig rig;
    MidiControllerMap& map = *GenericPlugin::getSharedControllerMap();
    const int freqIndex = rig.filter(0).freq.getIndex(), peakIndex = rig.filter(0).peak.getIndex();
    map.assign(21, freqIndex);
    map.assign(30, peakIndex);
    const gui::Point menuButton = EditorRig::centreOf(rig.editor.topBar().midi);

    // "Disable", "Clear", "Revert", "Save"; Clear's submenu lists each
    // association, then "Clear All".
    rig.click(menuButton);
    rig.chooseFromMenu(1);
    rig.chooseFromMenu(0);
    EXPECT_EQ(map.get(21), -1);
    EXPECT_EQ(map.get(30), peakIndex);
    map.assign(21, freqIndex);
    rig.click(menuButton);
    rig.chooseFromMenu(1);
    rig.chooseFromMenu(-1);
    EXPECT_EQ(map.get(21), -1);
    EXPECT_EQ(map.get(30), -1);

    // Disabled, a learned controller moves nothing (Freq starts fully open);
    // "Enable" brings it back.
    map.assign(21, freqIndex);
    ASSERT_EQ(rig.filter(0).freq.getNormalized(), 1.0f);
    rig.click(menuButton);
    rig.chooseFromMenu(0);
    controlChange(rig, 21, 0);
    EXPECT_EQ(rig.plugin.getMidiState(), GenericPlugin::Disabled);
    EXPECT_EQ(rig.filter(0).freq.getNormalized(), 1.0f);
    rig.click(menuButton);
    rig.chooseFromMenu(0);
    controlChange(rig, 21, 0);
    EXPECT_EQ(rig.filter(0).freq.getNormalized(), 0.0f);
    map.clearAll();
}

// The routing picture tells what the routing does: each diagram, evaluated with the filters as gains
// (in series they multiply, in parallel they average), equals the filters' own routing, in every
// arrangement of one to four filters and both channel paths of the split modes.
using routingtest::Channel;
using routingtest::gains;

namespace {

double factorOf(const RoutingDiagram::Node& node)
{
    switch (node.kind) {
    case RoutingDiagram::Node::Filter:
        return gains[static_cast<std::size_t>(node.filter - 1)];
    case RoutingDiagram::Node::Series:
        return std::accumulate(node.children.begin(), node.children.end(), 1.0,
                               [](double f, const RoutingDiagram::Node& c) { return f * factorOf(c); });
    default:
        return std::accumulate(node.children.begin(), node.children.end(), 0.0,
                               [](double f, const RoutingDiagram::Node& c) { return f + factorOf(c); }) /
               static_cast<double>(node.children.size());
    }
}

} // namespace

TEST(RoutingDiagram, EveryPictureEvaluatesToWhatTheRoutingPlays)
{
    for (int index = 0; index < 8; ++index)
        for (int count = 1; count <= 4; ++count) {
            SCOPED_TRACE(testing::Message() << "index " << index << ", " << count << " filters");
            Channel channel;
            channel.setAtOnce(index, count, 0b1111);
            const RoutingDiagram diagram(index, (1u << count) - 1u);
            EXPECT_NEAR(factorOf(diagram.root()), channel.settledOutput(), 1e-4);
        }
    // Split modes: each path runs its half of the filters in use (the other
    // half switched off there); with four filters the option picks the
    // arrangement.
    for (int option = 0; option < 4; ++option)
        for (unsigned half : {0b0011u, 0b1100u}) {
            SCOPED_TRACE(testing::Message() << "option " << option << ", filters " << half);
            const int index = RoutingDiagram::splitIndex(option);
            Channel channel;
            channel.setAtOnce(index, 4, static_cast<int>(half));
            EXPECT_NEAR(factorOf(RoutingDiagram(index, half).root()), channel.settledOutput(), 1e-4);
        }
    for (unsigned half : {0b01u, 0b10u}) {
        Channel channel;
        channel.setAtOnce(0, 2, static_cast<int>(half));
        EXPECT_NEAR(factorOf(RoutingDiagram(0, half).root()), channel.settledOutput(), 1e-4);
    }
    EXPECT_EQ(RoutingDiagram(2, 0b0111).text(), "(1 \xE2\x86\x92 2) \xE2\x88\xA5 3");
}
