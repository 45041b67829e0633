#pragma once

#include "editor/EditorImages.h"
#include "framework/GenericPlugin.h"
#include "framework/Property.h"
#include "gui/UserInterface.h"
#include "persistence/PresetManager.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

namespace gui {
struct Menu;
class Control;
class ImageControl;
class NotifyEvent;
class ValueControl;
}
class EditorTopBar;
class HelpHintWindow;
class ParameterBinding;

// The part of the editor every panel shares: the top bar (undo, redo, A/B,
// copy, presets, help, MIDI), the undo points, the bracketing of control
// gestures for the host, the help menu and the help-hint window with its
// one-time welcome text. Derived editors add their panels to surface().
//
// The frame observes the plug-in as its listener. A change can be reported
// on any thread (on the audio thread when MIDI moved a parameter), so the
// listener only marks what changed, with atomics; refresh(), called on the
// user interface's thread at every idle turn, brings the controls up to
// date. Parameters change only through the frame (setParameter and the
// bindings), which notes that an undo snapshot is due.
//
// Threads: everything but changed() runs on the user interface's thread.
class GenericPluginInterface : public GenericPlugin::Listener,
                               public gui::UserInterface::Listener,
                               public PresetListener,
                               public PropertyOwner {
public:
    // The welcome text shown once, when the editor first opens.
    static constexpr const char* welcomeText =
        "Welcome to Merovance Ostrand 2! This help hint window gives you hints and tips when you move the mouse "
        "cursor over a control. It pops up after one second.\n\nIf you want to learn more, open the user manual "
        "by clicking Help Topics in the Help menu.\n\nTip: You can disable help hints by unchecking Show "
        "Interactive Help Hints in the Help menu.";
    static constexpr const char* webSiteAddress = "https://www.merovance.com/";
    static constexpr const char* supportAddress = "https://www.merovance.com/support/";

    // Builds the frame in the user interface's root, sized to the plug-in's
    // editor, and attaches itself to the plug-in. The first editor of a
    // plug-in object starts its undo history and A/B states.
    GenericPluginInterface(gui::UserInterface& ui, GenericPlugin& plugin);
    ~GenericPluginInterface() override;
    GenericPluginInterface(const GenericPluginInterface&) = delete;
    GenericPluginInterface& operator=(const GenericPluginInterface&) = delete;

    GenericPlugin& plugin() const { return owner; }
    gui::UserInterface& userInterface() const { return toolkit; }
    // The editor's area; panels are its children.
    gui::Control& surface() const { return *area; }
    const EditorImages& images() const { return *pictures; }
    EditorTopBar& topBar() const { return *bar; }
    HelpHintWindow& hintWindow() const { return *hints; }

    // --- Parameter traffic of the editor's controls ---

    // Ties a control to a parameter (see ParameterBinding); the frame keeps
    // the binding for the life of the editor.
    ParameterBinding& bind(gui::ValueControl& control, int parameterIndex);
    // The binding of a control (null when it has none), and all of them,
    // for the parts that look at every control that stands for a parameter
    // (modulation rings, MIDI learn).
    ParameterBinding* bindingOf(const gui::Control& control) const;
    std::vector<ParameterBinding*> allBindings() const;
    // A gesture on a parameter starts or ends, for the host.
    void beginEdit(int index);
    void endEdit(int index);
    // Sets a parameter; true when its value changed, which makes an undo
    // snapshot due at the end of the gesture.
    bool setParameter(int index, float plain);
    bool setParameterNormalized(int index, float normalized);
    // A gesture ended: takes the snapshot when one is due.
    void gestureEnded();
    // Takes an undo snapshot now (after a command: a filter added, a preset
    // loaded, the A/B switch).
    void takeUndoSnapshot();
    bool snapshotDue() const { return pendingChange; }

    // --- Keeping up with the plug-in ---

    // Brings every control that shows a changed parameter up to date, and
    // the top bar. Cheap when nothing changed.
    void refresh();
    // A parameter changed without telling the listener (the host set it
    // from its own control); the next refresh shows it. Any thread.
    void markChanged(int index);

    // --- Commands of the top bar ---

    void undo();
    void redo();
    void toggleCompare();
    void copyCompare();
    void previousPreset();
    void nextPreset();
    // Loads a full preset file; shows the load-failure message when it does
    // not load. True on success.
    bool loadPreset(const std::string& path);
    // Saves into the current preset's file; false when there is none.
    bool savePreset();
    // Loads a section preset into the plug-in's one instance of component
    // `kind` (all filters, all slots); the load-failure message when it
    // does not load.
    bool loadSectionPreset(int kind, const std::string& path);
    void openPresetsMenu();
    // The Help menu's items, in menu order.
    enum class HelpItem { topics, interactiveHints, webSite, support, about };
    // The Help menu as its button opens it; an item's id is its HelpItem
    // plus one.
    gui::Menu helpMenu() const;
    void openHelpMenu();
    void runHelpItem(HelpItem item);
    // The MIDI menu as its button opens it now (its Clear submenu lists the
    // controllers learned so far).
    gui::Menu midiMenu() const;
    void openMidiMenu();
    void showAbout();
    // A message in a box over the editor.
    void showMessage(const std::string& message);

    // --- Listeners ---

    // GenericPlugin::Listener; any thread.
    void changed(unsigned mask, int index) override;
    // gui::UserInterface::Listener: the toolkit's hint for the control
    // under the mouse (after its delay), shown when hints are switched on.
    void showHint(const std::string& text) override;
    // PresetListener: the preset list was rescanned.
    void presetsChanged() override {}
    // The shared settings changed (help hints switched on or off).
    void propertyChanged(PropertyBase& property) override;

protected:
    // The parameters whose values changed since the last refresh (all of
    // them when `all`), after the bound controls were updated: derived
    // editors update what they draw from them.
    virtual void parametersChanged(bool /*all*/, std::span<const int> /*indices*/) {}
    // The preset's name, place or modified flag changed.
    virtual void presetChanged() {}

private:
    void updateBar();
    void takeChanges(bool& all, std::vector<int>& indices);
    void runPresetsMenuChoice(int id);
    void saveAsDialog();
    void saveSectionDialog(int kind);
    void changePresetFolderDialog();

    gui::UserInterface& toolkit;
    GenericPlugin& owner;
    std::unique_ptr<EditorImages> pictures;
    gui::Control* area = nullptr;
    EditorTopBar* bar = nullptr;
    HelpHintWindow* hints = nullptr;

    std::vector<std::unique_ptr<ParameterBinding>> bindings;
    std::unordered_multimap<int, ParameterBinding*> bindingsByParameter;

    // Set by the listener on any thread, taken by refresh.
    std::unique_ptr<std::atomic<std::uint64_t>[]> dirtyWords;
    std::size_t dirtyWordCount = 0;
    std::atomic<bool> allDirty{false};
    std::atomic<bool> presetDirty{false};
    std::vector<int> changedScratch;

    bool pendingChange = false;
};
