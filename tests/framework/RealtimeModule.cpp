// A plug-in inside a module that the test loads with dlopen, the way a host
// loads the LV2 bundle: thread-local data of such a module lives in dynamic
// TLS, which the C library may set up lazily on a thread's first use.
#include "TestPlugin.h"

extern "C" {

__attribute__((visibility("default"))) void* ostrandModuleCreate()
{
    auto* plugin = new testplugin::TestPlugin(4);
    // Work waiting for the first block: a change and a MIDI note.
    plugin->parameter(1).setValue(0.75f, 0);
    plugin->queueMidiEvent(10, 0x90, 60, 100);
    return plugin;
}

__attribute__((visibility("default"))) void ostrandModuleProcess(void* plugin, float* const* outputs,
                                                                 int numSamples)
{
    static_cast<testplugin::TestPlugin*>(plugin)->process(nullptr, 0, outputs, 2, numSamples);
}

__attribute__((visibility("default"))) float ostrandModuleApplied(void* plugin, int index)
{
    return static_cast<testplugin::TestPlugin*>(plugin)->applied(index);
}

__attribute__((visibility("default"))) void ostrandModuleDestroy(void* plugin)
{
    delete static_cast<testplugin::TestPlugin*>(plugin);
}
}
