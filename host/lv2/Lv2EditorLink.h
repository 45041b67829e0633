#pragma once

#include <lv2/core/lv2.h>

class ApplicationInfo;
class GenericPlugin;
class GlobalSettings;
class Lv2PluginAdapter;
class MainPresetFolder;
class MidiControllerMap;
class PluginStorage;
class PresetLibrary;

// What the plug-in module hands the editor's module (the LV2 UI, a shared
// object of its own that links no part of the plug-in module): the way
// from an instance handle to its adapter, and the objects every instance
// of the plug-in module shares (settings, presets, the controller map),
// which the editor must use instead of its own module's copies.
//
// Both modules are built from the same sources, so the editor works on the
// plug-in's objects directly; `build` proves it: the editor refuses a
// plug-in module whose fingerprint differs from its own (a bundle replaced
// while a host still runs the old plug-in).
//
// Offered as the plug-in descriptor's extension data under `uri`; the UI
// reaches it through the data-access feature.
struct Lv2EditorLink {
    static constexpr const char* uri = "urn:merovance:ostrand2#editor-link";

    const char* build;
    Lv2PluginAdapter* (*adapterOf)(LV2_Handle instance);
    GlobalSettings* settings;
    ApplicationInfo* application;
    PresetLibrary* presets;
    PluginStorage* storage;
    MainPresetFolder* presetFolder;
    MidiControllerMap* (*controllerMap)();

    // This module's link.
    static const Lv2EditorLink& own();
    // Makes this module use the shared objects of the module `link` came
    // from (the editor's module does this before it builds an editor).
    void adopt() const;
};

// A hash of the sources both modules are built from.
const char* lv2BuildFingerprint();
