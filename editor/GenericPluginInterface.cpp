#include "editor/GenericPluginInterface.h"

#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/HelpHintWindow.h"
#include "editor/ParameterBinding.h"
#include "editor/PresetMenu.h"
#include "framework/AbstractPluginParameter.h"
#include "framework/ApplicationInfo.h"
#include "framework/CompareStates.h"
#include "framework/GlobalSettings.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiVirtualPluginParameter.h"
#include "framework/UndoHistory.h"
#include "gui/Dialogs.h"
#include "gui/ImageControl.h"
#include "gui/ValueControl.h"
#include "gui/Menu.h"
#include "gui/RootControl.h"
#include "persistence/PresetLibrary.h"
#include "persistence/SectionPresets.h"

#include <algorithm>
#include <filesystem>

namespace {

// Ids of the commands in the presets menu; presets take the ids above.
enum PresetCommand {
    saveCommand = 1,
    saveAsCommand,
    viewNumbersCommand,
    changeFolderCommand,
    // Save As of section k's presets is sectionSaveAs + k.
    sectionSaveAs = 10,
    firstPresetId = 100,
    // Section k's presets take ids from (k + 1) * sectionIdRange up.
    sectionIdRange = 100000,
};

// The menus of one openPresetsMenu call, to turn a chosen id into a file.
struct PresetMenus {
    PresetMenu full{firstPresetId};
    std::vector<std::pair<int, PresetMenu>> sections;
};

enum MidiCommand { midiSwitch = 1, midiRevert, midiSave, midiClearAll, midiClearFirst = 100 };

} // namespace

GenericPluginInterface::GenericPluginInterface(gui::UserInterface& userInterface, GenericPlugin& plugin)
    : toolkit(userInterface), owner(plugin), pictures(std::make_unique<EditorImages>())
{
    const int w = std::max(1, plugin.getEditorWidth()), h = std::max(1, plugin.getEditorHeight());
    area = &toolkit.root().add<gui::Control>(gui::Rect::ofSize(0, 0, w, h));
    area->add<gui::ImageControl>(gui::Point{0, 0}, pictures->background);
    bar = &area->add<EditorTopBar>(w, *pictures);
    hints = &area->add<HelpHintWindow>(pictures->hintPanel);

    dirtyWordCount = (static_cast<std::size_t>(plugin.getParameterCount()) + 63) / 64;
    dirtyWords = std::make_unique<std::atomic<std::uint64_t>[]>(std::max<std::size_t>(1, dirtyWordCount));

    bar->undo.clicked.addHandler([this](gui::NotifyEvent&) { undo(); });
    bar->redo.clicked.addHandler([this](gui::NotifyEvent&) { redo(); });
    bar->compare.clicked.addHandler([this](gui::NotifyEvent&) { toggleCompare(); });
    bar->copy.clicked.addHandler([this](gui::NotifyEvent&) { copyCompare(); });
    bar->previous.clicked.addHandler([this](gui::NotifyEvent&) { previousPreset(); });
    bar->next.clicked.addHandler([this](gui::NotifyEvent&) { nextPreset(); });
    bar->presets.clicked.addHandler([this](gui::NotifyEvent&) { openPresetsMenu(); });
    bar->help.clicked.addHandler([this](gui::NotifyEvent&) { openHelpMenu(); });
    bar->midi.clicked.addHandler([this](gui::NotifyEvent&) { openMidiMenu(); });

    // The undo history and the A/B states belong to the plug-in and outlive
    // the editor; the first editor starts them.
    GenericPlugin::CompareStates* compare = plugin.getCompareStates();
    if (compare && !compare->isInitialized()) {
        if (GenericPlugin::UndoHistory* history = plugin.getUndoHistory())
            history->pushInitial();
        compare->initialize();
    }

    toolkit.addListener(*this);
    plugin.getPresetState().modified.setOwner(this);
    plugin.setListener(this);

    GlobalSettings& settings = GlobalSettings::shared();
    if (settings.showWelcomeHint.get()) {
        hints->showCentred(welcomeText, gui::Rect::ofSize(0, EditorTopBar::height, w, 263));
        settings.showWelcomeHint = false;
    }
    updateBar();
}

GenericPluginInterface::~GenericPluginInterface()
{
    // No thread calls into the frame once this returns.
    owner.setListener(nullptr);
    owner.getPresetState().modified.setOwner(nullptr);
    toolkit.removeListener(*this);
    bindingsByParameter.clear();
    bindings.clear();
    delete area;
}

// --- Parameter traffic ---

ParameterBinding& GenericPluginInterface::bind(gui::ValueControl& control, int parameterIndex)
{
    bindings.push_back(std::make_unique<ParameterBinding>(*this, control, parameterIndex));
    ParameterBinding& binding = *bindings.back();
    bindingsByParameter.emplace(parameterIndex, &binding);
    return binding;
}

ParameterBinding* GenericPluginInterface::bindingOf(const gui::Control& control) const
{
    for (const auto& binding : bindings)
        if (static_cast<const gui::Control*>(&binding->control()) == &control)
            return binding.get();
    return nullptr;
}

std::vector<ParameterBinding*> GenericPluginInterface::allBindings() const
{
    std::vector<ParameterBinding*> all;
    all.reserve(bindings.size());
    for (const auto& binding : bindings)
        all.push_back(binding.get());
    return all;
}

void GenericPluginInterface::beginEdit(int index) { owner.beginEdit(index); }

void GenericPluginInterface::endEdit(int index) { owner.endEdit(index); }

bool GenericPluginInterface::setParameter(int index, float plain)
{
    AbstractPluginParameter* p = owner.getParameter(index);
    if (!p)
        return false;
    const float before = p->getValue();
    p->setValue(plain, 0);
    if (!valueDiffers(before, p->getValue()))
        return false;
    pendingChange = true;
    return true;
}

bool GenericPluginInterface::setParameterNormalized(int index, float normalized)
{
    const AbstractPluginParameter* p = owner.getParameter(index);
    return p && setParameter(index, p->denormalize(std::clamp(normalized, 0.0f, 1.0f)));
}

void GenericPluginInterface::gestureEnded()
{
    if (pendingChange)
        takeUndoSnapshot();
}

void GenericPluginInterface::takeUndoSnapshot()
{
    pendingChange = false;
    if (GenericPlugin::UndoHistory* history = owner.getUndoHistory())
        history->push(std::string());
    if (GenericPlugin::CompareStates* compare = owner.getCompareStates())
        compare->setChangedByUndo(true);
    updateBar();
}

// --- Keeping up with the plug-in ---

void GenericPluginInterface::changed(unsigned mask, int index)
{
    if (!(mask & 1u)) {
        presetDirty.store(true, std::memory_order_release);
        return;
    }
    markChanged(index);
}

void GenericPluginInterface::markChanged(int index)
{
    if (index < 0 || static_cast<std::size_t>(index) >= dirtyWordCount * 64) {
        // All parameters, or a virtual one whose members are not known here.
        allDirty.store(true, std::memory_order_release);
        return;
    }
    dirtyWords[static_cast<std::size_t>(index) / 64].fetch_or(std::uint64_t{1} << (index % 64),
                                                              std::memory_order_acq_rel);
}

void GenericPluginInterface::propertyChanged(PropertyBase&)
{
    // The preset's modified flag, published on whatever thread other than
    // the audio thread changed a parameter first, or by refresh.
    presetDirty.store(true, std::memory_order_release);
}

void GenericPluginInterface::takeChanges(bool& all, std::vector<int>& indices)
{
    all = allDirty.exchange(false, std::memory_order_acq_rel);
    indices.clear();
    for (std::size_t w = 0; w < dirtyWordCount; ++w) {
        std::uint64_t bits = dirtyWords[w].exchange(0, std::memory_order_acq_rel);
        while (bits) {
            const int bit = __builtin_ctzll(bits);
            bits &= bits - 1;
            indices.push_back(static_cast<int>(w * 64) + bit);
        }
    }
}

void GenericPluginInterface::refresh()
{
    // Changes made on the audio thread (MIDI) reach this listener, the
    // host adapter and the modified flag from here.
    owner.deliverPendingNotifications();
    bool all = false;
    takeChanges(all, changedScratch);
    const bool preset = presetDirty.exchange(false, std::memory_order_acq_rel);
    if (all) {
        for (const auto& binding : bindings)
            binding->update();
    } else {
        for (int index : changedScratch) {
            auto [first, last] = bindingsByParameter.equal_range(index);
            for (auto it = first; it != last; ++it)
                it->second->update();
        }
    }
    if (all || !changedScratch.empty()) {
        // Changes the editor did not make (the host, automation, MIDI, an
        // undo step) join the state the next undo returns to.
        if (!pendingChange)
            if (GenericPlugin::UndoHistory* history = owner.getUndoHistory())
                history->updateCurrent();
        parametersChanged(all, changedScratch);
    }
    if (preset)
        presetChanged();
    if (all || preset)
        updateBar();
}

void GenericPluginInterface::updateBar()
{
    EditorTopBar::State state;
    if (const GenericPlugin::UndoHistory* history = owner.getUndoHistory()) {
        state.canUndo = history->canUndo();
        state.canRedo = history->canRedo();
    }
    if (const GenericPlugin::CompareStates* compare = owner.getCompareStates()) {
        state.compareSlot = compare->getCurrent();
        state.compareChanged = compare->wasChangedByUndo();
    }
    PresetState& preset = owner.getPresetState();
    state.presetName = preset.getName();
    state.presetModified = preset.isModified();
    bar->show(state);
}

// --- Undo and compare ---

void GenericPluginInterface::undo()
{
    if (GenericPlugin::UndoHistory* history = owner.getUndoHistory())
        history->undo();
    pendingChange = false;
    refresh();
    updateBar();
}

void GenericPluginInterface::redo()
{
    if (GenericPlugin::UndoHistory* history = owner.getUndoHistory())
        history->redo();
    pendingChange = false;
    refresh();
    updateBar();
}

void GenericPluginInterface::toggleCompare()
{
    if (GenericPlugin::CompareStates* compare = owner.getCompareStates())
        compare->toggle();
    // Switching between A and B can itself be undone: the step goes in
    // before the controls catch up.
    takeUndoSnapshot();
    refresh();
}

void GenericPluginInterface::copyCompare()
{
    if (GenericPlugin::CompareStates* compare = owner.getCompareStates())
        compare->copyToOther();
    updateBar();
}

// --- Presets ---

bool GenericPluginInterface::loadPreset(const std::string& path)
{
    if (!owner.loadPreset(path)) {
        showMessage(presetLoadFailedMessage);
        return false;
    }
    takeUndoSnapshot();
    refresh();
    return true;
}

bool GenericPluginInterface::savePreset()
{
    const std::string path = owner.getPresetState().getLocation();
    if (path.empty() || !owner.savePreset(path))
        return false;
    PresetLibrary::shared().presets().rescan();
    updateBar();
    return true;
}

void GenericPluginInterface::previousPreset()
{
    const PresetItem* item =
        PresetLibrary::shared().presets().findByPath(owner.getPresetState().getLocation(), PresetManager::previous);
    if (item)
        loadPreset(item->path);
}

void GenericPluginInterface::nextPreset()
{
    const PresetItem* item =
        PresetLibrary::shared().presets().findByPath(owner.getPresetState().getLocation(), PresetManager::next);
    if (item)
        loadPreset(item->path);
}

void GenericPluginInterface::openPresetsMenu()
{
    PresetLibrary& library = PresetLibrary::shared();
    PresetManager& manager = library.presets();
    const GlobalSettings& settings = GlobalSettings::shared();
    const bool numbered = settings.viewProgramNumbersEnabled.get();
    const std::string current = owner.getPresetState().getLocation();

    auto menus = std::make_shared<PresetMenus>();
    PresetMenu* presets = &menus->full;
    gui::Menu menu = presets->build(manager, current, numbered);
    if (manager.getAdditionalFolderCount() > 0) {
        menu.addSeparator();
        for (int i = 0; i < manager.getAdditionalFolderCount(); ++i) {
            const PresetFolder& folder = manager.getAdditionalFolder(i);
            gui::Menu sub = presets->build(folder, current, numbered);
            const bool holdsCurrent = std::any_of(sub.items.begin(), sub.items.end(),
                                                  [](const gui::Menu::Item& item) { return item.checked; });
            menu.addSubmenu(folder.getDisplayName(), std::move(sub));
            menu.items.back().checked = holdsCurrent;
        }
    }
    menu.addSeparator();
    if (settings.savePresetItemEnabled.get())
        menu.add("Save", saveCommand, false, !current.empty());
    menu.add("Save As...", saveAsCommand);
    menu.addSeparator();
    menu.add("View Bank/Program Numbers", viewNumbersCommand, numbered);
    menu.add("Change Preset Folder...", changeFolderCommand);

    // The sections the plug-in has once (all filters, all slots), each with
    // its preset tree and Save As; sections of which there are several (one
    // per modulation source) have their menus on their own panels.
    bool separated = false;
    for (int kind = 0; kind < owner.getComponentKindCount(); ++kind) {
        PresetManager* section = library.section(kind);
        if (!section || owner.getComponentInstanceCount(kind) != 1)
            continue;
        section->rescan();
        if (!separated)
            menu.addSeparator();
        separated = true;
        menus->sections.emplace_back(kind, PresetMenu((kind + 1) * sectionIdRange));
        gui::Menu sub = menus->sections.back().second.build(*section, {}, numbered);
        sub.addSeparator();
        sub.add("Save As...", sectionSaveAs + kind);
        menu.addSubmenu(library.getSectionName(kind) + " Presets", std::move(sub));
    }

    gui::popupMenu(toolkit.root(), menu, bar->presets.toRoot({0, bar->presets.height()}), [this, menus](int id) {
        if (menus->full.owns(id)) {
            loadPreset(menus->full.pathOf(id));
            return;
        }
        for (const auto& [kind, section] : menus->sections)
            if (section.owns(id)) {
                loadSectionPreset(kind, section.pathOf(id));
                return;
            }
        if (id >= sectionSaveAs && id < firstPresetId)
            saveSectionDialog(id - sectionSaveAs);
        else
            runPresetsMenuChoice(id);
    });
}

void GenericPluginInterface::runPresetsMenuChoice(int id)
{
    GlobalSettings& settings = GlobalSettings::shared();
    switch (id) {
    case saveCommand:
        savePreset();
        break;
    case saveAsCommand:
        saveAsDialog();
        break;
    case viewNumbersCommand:
        settings.viewProgramNumbersEnabled = !settings.viewProgramNumbersEnabled.get();
        break;
    case changeFolderCommand:
        changePresetFolderDialog();
        break;
    default:
        break;
    }
}

void GenericPluginInterface::saveAsDialog()
{
    const std::string initial = owner.getPresetState().getName();
    gui::textEntryDialog(toolkit.root(), "Save the preset in the preset folder as:", initial,
                         [this](std::optional<std::string> name) {
                             if (!name || name->empty())
                                 return;
                             PresetLibrary& library = PresetLibrary::shared();
                             std::string folder = library.getPath();
                             if (!folder.empty() && folder.back() != '/')
                                 folder += '/';
                             const std::string path = folder + *name + owner.presetExtension();
                             auto write = [this, path] {
                                 std::error_code error;
                                 std::filesystem::create_directories(std::filesystem::path(path).parent_path(),
                                                                     error);
                                 if (!owner.savePreset(path)) {
                                     showMessage("The preset could not be saved to " + path + ".");
                                     return;
                                 }
                                 PresetLibrary::shared().presets().rescan();
                                 updateBar();
                             };
                             std::error_code error;
                             if (std::filesystem::exists(path, error))
                                 gui::confirmBox(toolkit.root(), "A preset named \"" + *name + "\" exists. Replace it?",
                                                 [write](bool replace) {
                                                     if (replace)
                                                         write();
                                                 });
                             else
                                 write();
                         });
}

bool GenericPluginInterface::loadSectionPreset(int kind, const std::string& path)
{
    ComponentPresetHandler handler(owner, kind, 0);
    if (!handler.load(path)) {
        showMessage(presetLoadFailedMessage);
        return false;
    }
    takeUndoSnapshot();
    refresh();
    return true;
}

void GenericPluginInterface::saveSectionDialog(int kind)
{
    PresetManager* section = PresetLibrary::shared().section(kind);
    if (!section)
        return;
    const std::string folder = section->getPath();
    const std::string extension = section->getExtension();
    gui::textEntryDialog(toolkit.root(), "Save the " + PresetLibrary::shared().getSectionName(kind) + " preset as:",
                         std::string(), [this, kind, folder, extension](std::optional<std::string> name) {
                             if (!name || name->empty())
                                 return;
                             std::string path = folder;
                             if (!path.empty() && path.back() != '/')
                                 path += '/';
                             path += *name + extension;
                             if (!ComponentPresetHandler(owner, kind, 0).save(path))
                                 showMessage("The preset could not be saved to " + path + ".");
                         });
}

void GenericPluginInterface::changePresetFolderDialog()
{
    gui::folderChooser(toolkit.root(), "Select a folder to store your presets:", PresetLibrary::shared().getPath(),
                       [](std::optional<std::string> folder) {
                           if (folder && !folder->empty())
                               PresetLibrary::shared().setPath(*folder);
                       });
}

// --- Help ---

void GenericPluginInterface::showHint(const std::string& text)
{
    // Any hint, shown or not, means the mouse moved on: the welcome (or
    // the previous hint) has had its turn.
    if (text.empty() || !GlobalSettings::shared().showInteractiveHelp.get()) {
        hints->hide();
        return;
    }
    gui::Control* under = toolkit.controlUnderMouse();
    gui::Rect anchor = gui::Rect::ofSize(0, 0, 0, 0);
    if (under) {
        const gui::Point topLeft = area->fromRoot(under->toRoot({0, 0}));
        anchor = gui::Rect::ofSize(topLeft.x, topLeft.y, under->width(), under->height());
    }
    hints->show(text, anchor);
}

gui::Menu GenericPluginInterface::helpMenu() const
{
    const GlobalSettings& settings = GlobalSettings::shared();
    // Ids are the items' positions plus one.
    auto id = [](HelpItem item) { return static_cast<int>(item) + 1; };
    gui::Menu menu;
    menu.add("Help Topics", id(HelpItem::topics), false, !settings.helpFileName.empty());
    menu.add("Show Interactive Help Hints", id(HelpItem::interactiveHints), settings.showInteractiveHelp.get());
    menu.addSeparator();
    menu.add("Merovance Web Site", id(HelpItem::webSite));
    menu.add("Merovance Support", id(HelpItem::support));
    menu.addSeparator();
    menu.add("About...", id(HelpItem::about));
    return menu;
}

void GenericPluginInterface::openHelpMenu()
{
    gui::popupMenu(toolkit.root(), helpMenu(), bar->help.toRoot({0, bar->help.height()}), [this](int chosen) {
        if (chosen > 0)
            runHelpItem(static_cast<HelpItem>(chosen - 1));
    });
}

void GenericPluginInterface::runHelpItem(HelpItem item)
{
    GlobalSettings& settings = GlobalSettings::shared();
    switch (item) {
    case HelpItem::topics:
        toolkit.openExternally(settings.helpFileName);
        break;
    case HelpItem::interactiveHints:
        settings.showInteractiveHelp = !settings.showInteractiveHelp.get();
        if (!settings.showInteractiveHelp.get())
            hints->hide();
        break;
    case HelpItem::webSite:
        toolkit.openExternally(webSiteAddress);
        break;
    case HelpItem::support:
        toolkit.openExternally(supportAddress);
        break;
    case HelpItem::about:
        showAbout();
        break;
    }
}

void GenericPluginInterface::showAbout()
{
    const ApplicationInfo& info = ApplicationInfo::shared();
    showMessage(info.getFullName() + " " + std::to_string(info.majorVersion) +
                "\nVersion " OSTRAND_VERSION "\n\nA multi-mode filter with four saturating state-variable filters, "
                "eight routings and a modulation matrix.\n\n\xC2\xA9 Merovance");
}

void GenericPluginInterface::showMessage(const std::string& message) { gui::messageBox(toolkit.root(), message); }

// --- MIDI ---

gui::Menu GenericPluginInterface::midiMenu() const
{
    gui::Menu menu;
    const bool enabled = owner.getMidiState() == GenericPlugin::Enabled;
    menu.add(enabled ? "Disable" : "Enable", midiSwitch);
    // One entry per association: the plug-in's parameters first, then the
    // parameters that move several at once.
    gui::Menu clear;
    MidiControllerMap* map = GenericPlugin::getSharedControllerMap();
    if (map) {
        for (int pass = 0; pass < 2; ++pass)
            for (int c = 0; c < MidiControllerMap::controllerCount; ++c) {
                const int id = map->get(c);
                if (id < 0 || (id >= GenericPlugin::firstVirtualIndex) != (pass == 1))
                    continue;
                std::string name;
                if (const AbstractPluginParameter* p = owner.getParameter(id))
                    name = p->getName();
                else if (const auto* v = owner.getVirtualParameter(id))
                    name = v->getName();
                else
                    continue;
                clear.add("CC " + std::to_string(c) + ": " + name, midiClearFirst + c);
            }
        if (!clear.items.empty()) {
            clear.addSeparator();
            clear.add("Clear All", midiClearAll);
        }
    }
    menu.addSubmenu("Clear", std::move(clear), map != nullptr);
    menu.add("Revert", midiRevert);
    menu.add("Save", midiSave);
    return menu;
}

void GenericPluginInterface::openMidiMenu()
{
    gui::popupMenu(toolkit.root(), midiMenu(), bar->midi.toRoot({0, bar->midi.height()}), [this](int id) {
        MidiControllerMap* controllers = GenericPlugin::getSharedControllerMap();
        if (id == midiSwitch) {
            const int receive = owner.findParameter("Receive MIDI");
            if (receive >= 0) {
                const bool on = owner.getMidiState() == GenericPlugin::Enabled;
                beginEdit(receive);
                setParameter(receive, on ? GenericPlugin::Disabled : GenericPlugin::Enabled);
                endEdit(receive);
                gestureEnded();
            }
        } else if (id == midiRevert) {
            owner.revertMidiControllerMap();
        } else if (id == midiSave) {
            owner.saveMidiControllerMap();
        } else if (id == midiClearAll && controllers) {
            controllers->clearAll();
        } else if (id >= midiClearFirst && controllers) {
            controllers->clear(id - midiClearFirst);
        }
    });
}
