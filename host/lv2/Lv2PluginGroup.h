#pragma once

#include "host/lv2/Lv2PortLayout.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class GenericPlugin;

// One per module: declares a plug-in and its effect types to LV2 hosts.
// What it declares it learns from a temporary plug-in object, built and
// deleted again while the group is constructed, so the declaration follows
// the plug-in's own properties. Each effect type is one LV2 plug-in of the
// bundle, with a URI of its own:
//
//   stereo  always                                     <uri>
//   mono    audio input, 2+ channels, mono supported   <uri>:mono
//
// The URI is "urn:" + maker + ":" + product + major version, in lower
// case ("urn:merovance:ostrand2").
class Lv2PluginGroup {
public:
    // Builds a plug-in with this many channels at this sample rate.
    using Factory = std::function<std::unique_ptr<GenericPlugin>(int channels, float sampleRate)>;

    enum class Layout { Stereo = 0, Mono = 1 };

    struct EffectType {
        Layout layout;
        std::string uri;
        std::string name;   // as hosts list it
        int pluginChannels; // the channel count the plug-in is built with
        Lv2PortLayout ports;
    };

    explicit Lv2PluginGroup(Factory factory);

    const std::vector<EffectType>& getTypes() const { return types; }
    // The type with this URI, or null.
    const EffectType* findType(const std::string& uri) const;
    std::unique_ptr<GenericPlugin> createPlugin(const EffectType& type, float sampleRate) const;

    // What the temporary plug-in said.
    bool hasAudioInput() const { return audioInput; }
    int getChannelCount() const { return channelCount; }
    bool supportsMono() const { return monoLayout; }
    bool hasSideChain() const { return sideChain; }
    int getPluginKind() const { return pluginKind; }
    // 0x800 for an instrument, else by kind: 1 gives 0x800, 3 gives 0x10,
    // 4 gives 0x2, any other (an effect's 2) 0x2000.
    int getCategoryCode() const;
    // The plug-in name list: "Merovance Ostrand 2\nOstrand 2".
    const std::string& getNameList() const { return nameList; }
    const std::string& getMakerName() const { return makerName; }
    int getMajorVersion() const { return majorVersion; }
    const std::string& getUri() const { return baseUri; }

private:
    void addType(Layout layout);

    Factory factory;
    bool audioInput = true;
    int channelCount = 2;
    bool monoLayout = false;
    bool sideChain = false;
    int pluginKind = 0;
    std::string nameList;
    std::string makerName;
    int majorVersion = 1;
    std::string baseUri;
    int parameterCount = 0;
    std::vector<EffectType> types;
};
