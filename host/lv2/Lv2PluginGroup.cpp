#include "host/lv2/Lv2PluginGroup.h"

#include "framework/ApplicationInfo.h"
#include "framework/GenericPlugin.h"
#include "persistence/ProductFolders.h"

#include <cctype>

namespace {

// Any sample rate serves for reading properties.
constexpr float propertySampleRate = 48000.0f;

std::string lowerCaseWord(const std::string& text)
{
    std::string word;
    for (char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

} // namespace

Lv2PluginGroup::Lv2PluginGroup(Factory f) : factory(std::move(f))
{
    {
        std::unique_ptr<GenericPlugin> plugin = factory(2, propertySampleRate);
        audioInput = plugin->getInputMode() == 1;
        channelCount = plugin->getNumChannels();
        monoLayout = plugin->supportsMonoLayout();
        sideChain = plugin->hasSideChain();
        pluginKind = plugin->getPluginKind();
        parameterCount = plugin->getParameterCount();
    }
    // The plug-in named the product while it initialised the framework.
    const ApplicationInfo& info = ApplicationInfo::shared();
    const std::string folderName = productFolderName(info);
    makerName = ApplicationInfo::makerName;
    majorVersion = info.majorVersion;
    nameList = makerName + " " + folderName + "\n" + folderName;
    baseUri = "urn:" + lowerCaseWord(makerName) + ":" + lowerCaseWord(folderName);

    addType(Layout::Stereo);
    if (audioInput && channelCount > 1 && monoLayout)
        addType(Layout::Mono);
}

void Lv2PluginGroup::addType(Layout layout)
{
    EffectType type;
    type.layout = layout;
    const std::string fullName = nameList.substr(0, nameList.find('\n'));
    const bool mono = layout == Layout::Mono;
    const int channels = mono ? 1 : channelCount;
    type.uri = baseUri + (mono ? ":mono" : "");
    type.name = fullName + (mono ? " (Mono)" : "");
    type.pluginChannels = channels;
    type.ports.mainInputs = audioInput ? channels : 0;
    type.ports.outputs = channels;
    type.ports.sideChains = audioInput && sideChain ? channels : 0;
    type.ports.parameters = parameterCount;
    types.push_back(type);
}

const Lv2PluginGroup::EffectType* Lv2PluginGroup::findType(const std::string& uri) const
{
    for (const EffectType& t : types)
        if (t.uri == uri)
            return &t;
    return nullptr;
}

std::unique_ptr<GenericPlugin> Lv2PluginGroup::createPlugin(const EffectType& type, float sampleRate) const
{
    return factory(type.pluginChannels, sampleRate);
}

int Lv2PluginGroup::getCategoryCode() const
{
    if (!audioInput)
        return 0x800;
    switch (pluginKind) {
    case 1:
        return 0x800;
    case 3:
        return 0x10;
    case 4:
        return 0x2;
    default:
        return 0x2000;
    }
}
