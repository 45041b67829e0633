#include "host/lv2/ui/Lv2ViewAdapter.h"

#include "editor/OstrandInterface.h"
#include "effect/OstrandPlugin.h"
#include "framework/AbstractPluginParameter.h"
#include "gui/x11/X11Interface.h"

#include <cmath>
#include <cstring>
#include <limits>

Lv2ViewAdapter::Lv2ViewAdapter(Lv2PluginAdapter& pluginAdapter, const Host& hostSide)
    : adapter(pluginAdapter), host(hostSide)
{
    // The bundle holds this UI for the effect's plug-ins only.
    auto& plugin = static_cast<OstrandPlugin&>(adapter.getPlugin());
    gui::X11Interface::Options options;
    options.parent = host.parent;
    options.width = plugin.getEditorWidth();
    options.height = plugin.getEditorHeight();
    options.scale = host.scale;
    options.title = "Ostrand 2";
    window = std::make_unique<gui::X11Interface>(options);
    editor = std::make_unique<OstrandInterface>(*window, plugin);
    const std::size_t count = static_cast<std::size_t>(plugin.getParameterCount());
    written.assign(count, std::numeric_limits<float>::quiet_NaN());
    gestures.assign(count, 0);
    adapter.attachView(this);
    // Whatever changed before the editor opened is the host's already.
    adapter.takeChangedParameters([](int) {});
    if (host.resize) {
        const int scale = window->window().scale();
        host.resize->ui_resize(host.resize->handle, options.width * scale, options.height * scale);
    }
}

Lv2ViewAdapter::~Lv2ViewAdapter()
{
    adapter.attachView(nullptr);
    // Edits of the last moments still reach the host.
    passChangesToHost();
    editor.reset();
    window.reset();
}

unsigned long Lv2ViewAdapter::widget() const { return window->windowId(); }

std::uint32_t Lv2ViewAdapter::portOf(int index) const
{
    return static_cast<std::uint32_t>(adapter.getPorts().firstParameterPort() + index);
}

void Lv2ViewAdapter::passChangesToHost()
{
    GenericPlugin& plugin = adapter.getPlugin();
    adapter.takeChangedParameters([&](int index) {
        const AbstractPluginParameter* p = plugin.getParameter(index);
        if (!p || !host.write)
            return;
        const float value = p->getValue();
        written[static_cast<std::size_t>(index)] = value;
        host.write(host.controller, portOf(index), sizeof(float), 0, &value);
    });
}

int Lv2ViewAdapter::idle()
{
    editor->refresh();
    const bool open = window->idle();
    passChangesToHost();
    return open ? 0 : 1;
}

void Lv2ViewAdapter::portEvent(std::uint32_t port, std::uint32_t size, std::uint32_t format, const void* buffer)
{
    const int index = static_cast<int>(port) - adapter.getPorts().firstParameterPort();
    GenericPlugin& plugin = adapter.getPlugin();
    AbstractPluginParameter* p = plugin.getParameter(index);
    if (!p || format != 0 || size != sizeof(float) || !buffer)
        return;
    float value;
    std::memcpy(&value, buffer, sizeof value);
    const auto i = static_cast<std::size_t>(index);
    if (std::isnan(value) || gestures[i] > 0)
        return;
    // The host telling back what the editor wrote: the editor may have
    // moved on since, and must not be pulled back.
    if (!std::isnan(written[i]) && !valueDiffers(written[i], value))
        return;
    written[i] = std::numeric_limits<float>::quiet_NaN();
    if (valueDiffers(p->getValue(), value))
        p->setValue(value, GenericPlugin::changeFromHost);
    editor->markChanged(index);
}

void Lv2ViewAdapter::beginGesture(int index)
{
    passChangesToHost();
    if (index >= 0 && static_cast<std::size_t>(index) < gestures.size())
        ++gestures[static_cast<std::size_t>(index)];
    if (host.touch)
        host.touch->touch(host.touch->handle, portOf(index), true);
}

void Lv2ViewAdapter::endGesture(int index)
{
    // The gesture's last value goes out before the release, so the host
    // records it inside the gesture.
    passChangesToHost();
    if (index >= 0 && static_cast<std::size_t>(index) < gestures.size() && gestures[static_cast<std::size_t>(index)] > 0)
        --gestures[static_cast<std::size_t>(index)];
    if (host.touch)
        host.touch->touch(host.touch->handle, portOf(index), false);
}
