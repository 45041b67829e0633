// ostrand-editor: the effect's editor without a host. In a window it edits a
// plug-in object that plays nothing, to try the editor by hand; with
// --snapshot it renders the editor for a given state to a PNG file, without
// any display, for the README and the reference images of the tests.
#include "EditorOptions.h"

#include "editor/OstrandInterface.h"
#include "effect/FactoryPresets.h"
#include "effect/OstrandPlugin.h"
#include "framework/ParameterAssignment.h"
#include "framework/PluginStorage.h"
#include "gui/HeadlessInterface.h"
#include "gui/PNGWriter.h"
#include "gui/x11/FreeTypeText.h"
#include "gui/x11/X11Interface.h"

#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

namespace {

// Loads a preset file, or the factory preset of that name. False with a
// message on stderr when neither exists or the file does not load.
bool loadPreset(OstrandPlugin& plugin, const std::string& preset)
{
    std::error_code error;
    if (std::filesystem::is_regular_file(preset, error)) {
        if (plugin.loadPreset(preset))
            return true;
        std::cerr << "ostrand-editor: '" << preset << "' is not a preset this plug-in can load\n";
        return false;
    }
    for (const FactoryPreset& factory : readFactoryPresets(plugin)) {
        if (factory.name != preset)
            continue;
        GenericPlugin::Batch batch(plugin);
        for (std::size_t i = 0; i < factory.values.size(); ++i)
            if (AbstractPluginParameter* p = plugin.getParameter(static_cast<int>(i)))
                p->setValue(factory.values[i], 0);
        plugin.getPresetState().setName(factory.name);
        plugin.getPresetState().setModified(false);
        return true;
    }
    std::cerr << "ostrand-editor: no preset file or factory preset named '" << preset << "'\n";
    return false;
}

bool prepare(OstrandPlugin& plugin, const EditorOptions& options)
{
    if (!options.preset.empty() && !loadPreset(plugin, options.preset))
        return false;
    for (const std::string& setting : options.settings) {
        const ParameterAssignment assignment = applyParameterAssignment(plugin, setting);
        if (!assignment.ok()) {
            std::cerr << "ostrand-editor: --set " << setting << ": " << assignment.error << '\n';
            return false;
        }
    }
    return true;
}

std::unique_ptr<gui::Text> freeTypeText(const gui::Font&) { return std::make_unique<gui::FreeTypeText>(); }

int snapshot(const EditorOptions& options)
{
    // A snapshot reads and writes none of the user's files: the same state
    // gives the same picture on every machine.
    static PluginStorage inert;
    PluginStorage::install(&inert);
    OstrandPlugin plugin;
    if (!prepare(plugin, options))
        return 2;
    // What the audio side works out from the settings (which slots are
    // valid, how deep they reach) is shown as a running plug-in shows it.
    plugin.applyQueuedChangesAtOnce();
    const int scale = options.scale == 2 ? 2 : 1;
    gui::HeadlessInterface ui(plugin.getEditorWidth(), plugin.getEditorHeight(), scale, freeTypeText);
    OstrandInterface editor(ui, plugin);
    editor.setActiveFilter(options.activeFilter - 1);
    editor.refresh();
    if (!gui::writePNG(ui.render(), options.snapshot)) {
        std::cerr << "ostrand-editor: cannot write " << options.snapshot << '\n';
        return 1;
    }
    return 0;
}

int window(const EditorOptions& options)
{
    OstrandPlugin plugin;
    if (!prepare(plugin, options))
        return 2;
    gui::X11Interface::Options windowOptions;
    windowOptions.width = plugin.getEditorWidth();
    windowOptions.height = plugin.getEditorHeight();
    windowOptions.scale = options.scale;
    windowOptions.title = "Ostrand 2";
    gui::X11Interface ui(windowOptions);
    OstrandInterface editor(ui, plugin);
    editor.setActiveFilter(options.activeFilter - 1);
    do {
        editor.refresh();
        ui.waitForEvents(30);
    } while (ui.idle());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    const EditorOptions options = parseEditorOptions(arguments);
    if (options.help) {
        std::cout << editorUsage;
        return 0;
    }
    if (!options.error.empty()) {
        std::cerr << "ostrand-editor: " << options.error << '\n' << editorUsage;
        return 2;
    }
    try {
        return options.snapshot.empty() ? window(options) : snapshot(options);
    } catch (const std::exception& e) {
        std::cerr << "ostrand-editor: " << e.what() << '\n';
        return 1;
    }
}
