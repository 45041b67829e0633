#include "effect/LegacyPresetLayouts.h"

#include "effect/OstrandPlugin.h"
#include "framework/ParameterAssignment.h"
#include "framework/ParameterValueParser.h"
#include "framework/ValueDisplay.h"
#include "modulation/ModulationLayout.h"
#include "modulation/ModulationSlotParameterSet.h"
#include "persistence/BinaryDataWriter.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace {

// --- The first generation ---

// One stored value of the first generation. `parameter` names the current
// parameter that takes it as it is; without one the value is kept for the
// conversion. '#' stands for the filter's number. `since` is the first
// version that stored it.
struct FieldPattern {
    const char* name;
    const char* parameter;
    const char* options;
    float defaultValue;
    int since;
};

// Each of the four filters, in filter order.
constexpr FieldPattern firstGenerationFilter[] = {
    // The same 0..1 grid of 4.8 Hz to 75.6 kHz as today.
    {"Filter # Freq", "Filter # Freq", nullptr, 0, 0},
    {"Filter # Peak", "Filter # Peak", nullptr, 0, 0},
    // The ten characteristics in today's order (Clean came later).
    {"Filter # Characteristic", "Filter # Characteristic", nullptr, 0, 0},
    {"Filter # Response", "Filter # Response", nullptr, 0, 0},
    // 12 and 24 dB at positions 0 and 1; today 48 dB exists and 12 dB is 1.
    {"Filter # Slope", nullptr, "12,24", 0, 0},
    // -1..1 then; today's pan ring spans -3.5..3.5.
    {"Filter # Pan", nullptr, nullptr, 0, 1},
    {"Filter # Delay", "Filter # Delay", nullptr, 0, 1},
    {"Filter # Enabled", "Filter # Enabled", nullptr, 1, 0},
    // -1..1: how far the LFO and the envelope follower swept this cut-off;
    // today a modulation slot each.
    {"Filter # LFO Depth", nullptr, nullptr, 0, 0},
    {"Filter # Env Depth", nullptr, nullptr, 0, 0},
};

// After the filters.
constexpr FieldPattern firstGenerationGlobal[] = {
    {"Input Gain", "Input Gain", nullptr, 0, 0},
    {"Output Gain", "Output Gain", nullptr, 0, 0},
    {"Mix", "Mix", nullptr, 0, 0},
    {"Filters", "Num Active Filters", nullptr, 0, 0},
    {"Routing", "Routing", nullptr, 0, 0},
    // "Stereo,Dual Mono": the positions of today's Stereo and Per Channel.
    {"Channel Mode", "Routing Mode", nullptr, 0, 1},
    // The LFO: a rate in Hz, a shape, a tempo sync; today XLFO 1.
    {"LFO Rate", nullptr, nullptr, 1.0f, 0},
    {"LFO Shape", nullptr, "Sine,Triangle,Square,Saw Up,Saw Down,Random", 0, 0},
    {"LFO Sync", nullptr, "Free,4 Bars,2 Bars,1 Bar,1/2 Bar,1/4 Bar,1/8 Bar,1/16 Bar", 0, 0},
    // No longer exists: the right channel's LFO ran this far ahead.
    {"LFO Stereo Phase", nullptr, nullptr, 0, 1},
    // The envelope follower's times in seconds; today EF 1.
    {"Env Attack", nullptr, nullptr, 0.01f, 0},
    {"Env Release", nullptr, nullptr, 0.2f, 0},
    // No longer exists: a clipper after the filters, which the
    // characteristics' own saturation replaced.
    {"Soft Clip", nullptr, "Off,On", 0, 1},
};

// What the LFO Sync positions are today (SyncMode positions).
constexpr int firstGenerationSyncModes[] = {0, 3, 4, 5, 6, 7, 8, 9};

std::string numbered(std::string_view pattern, int n)
{
    std::string text(pattern);
    if (const auto hash = text.find('#'); hash != std::string::npos)
        text.replace(hash, 1, std::to_string(n));
    return text;
}

LegacyField fieldFrom(const OstrandPlugin& plugin, const FieldPattern& f, int n)
{
    LegacyField field;
    field.name = numbered(f.name, n);
    if (f.parameter) {
        field.parameter = plugin.findParameter(numbered(f.parameter, n));
    } else {
        field.kept = true;
        field.options = f.options ? f.options : "";
        field.defaultValue = f.defaultValue;
    }
    return field;
}

LegacyLayout buildFirstGeneration(const OstrandPlugin& plugin, std::int32_t version)
{
    LegacyLayout layout{"MOst", version, {}};
    for (int n = 1; n <= OstrandPlugin::numFilters; ++n)
        for (const FieldPattern& f : firstGenerationFilter)
            if (f.since <= version)
                layout.fields.push_back(fieldFrom(plugin, f, n));
    for (const FieldPattern& f : firstGenerationGlobal)
        if (f.since <= version)
            layout.fields.push_back(fieldFrom(plugin, f, 0));
    return layout;
}

// --- Version 1 of this generation ---

constexpr int version1FirstMovedSource = 12; // EF 1, which follows EG 5
constexpr int version1FirstMovedTarget = 55; // EF 1 Attack, which follows EG 5 Release
constexpr int eg6Targets = 4;

std::string joined(const std::vector<std::string>& names)
{
    std::string list;
    for (const std::string& name : names)
        list += (list.empty() ? "" : ",") + name;
    return list;
}

std::vector<std::string> withoutEG6(std::vector<std::string> names)
{
    std::erase_if(names, [](const std::string& name) { return name.starts_with("EG 6"); });
    return names;
}

LegacyLayout buildVersion1(const OstrandPlugin& plugin)
{
    const std::string sources = joined(withoutEG6(ModulationLayout::sourceNames()));
    const std::string targets = joined(withoutEG6(ModulationLayout::targetNames(
        ModulationLayout::standardTargets(), ModulationMatrix::numTargets)));
    LegacyLayout layout{"MO2l", 1, {}};
    for (int i = 0; i < plugin.getParameterCount(); ++i) {
        const AbstractPluginParameter* p = plugin.getParameter(i);
        LegacyField field;
        field.name = p->getName();
        if (field.name.starts_with("EG 6"))
            continue;
        if (dynamic_cast<const ModulationSlotParameterSet::SourceParameter*>(p)) {
            field.kept = true;
            field.options = sources;
        } else if (dynamic_cast<const ModulationSlotParameterSet::TargetParameter*>(p)) {
            field.kept = true;
            field.options = targets;
        } else {
            field.parameter = i;
        }
        layout.fields.push_back(std::move(field));
    }
    return layout;
}

// --- Conversion helpers ---

float finiteOr(float value, float fallback)
{
    return std::isfinite(value) ? value : fallback;
}

// What a conversion writes: a value per parameter of the plug-in's flat
// list, which the plug-in takes once the whole conversion is done.
struct Converted {
    const OstrandPlugin& plugin;
    std::vector<float>& values;

    int index(const std::string& name) const { return plugin.findParameter(name); }
    const AbstractPluginParameter& parameter(const std::string& name) const
    {
        return *plugin.getParameter(index(name));
    }
};

void set(Converted& out, const std::string& name, float plain)
{
    if (!std::isnan(plain))
        out.values[static_cast<std::size_t>(out.index(name))] = plain;
}

// Sets a parameter to an option or a value as its text shows it.
void setText(Converted& out, const std::string& name, const std::string& text)
{
    const ParameterAssignment a = parseParameterAssignment(out.plugin, name + "=" + text);
    if (a.ok())
        out.values[static_cast<std::size_t>(a.index)] = a.plain;
}

// Sets a parameter to the plain value that shows `shown` in its display's
// unit, held to what its range can show.
void setShown(Converted& out, const std::string& name, double shown)
{
    const AbstractPluginParameter& p = out.parameter(name);
    const ValueDisplay* display = p.getValueDisplay();
    const double a = display->displayValue(p.getMin());
    const double b = display->displayValue(p.getMax());
    const ParsedParameterValue plain = invertDisplay(p, std::clamp(shown, std::min(a, b), std::max(a, b)));
    if (plain.ok)
        set(out, name, plain.plain);
}

int position(float value, int count)
{
    return std::clamp(static_cast<int>(std::lround(finiteOr(value, 0.0f))), 0, count - 1);
}

class KeptValues {
public:
    KeptValues(const LegacyLayout& l, const std::vector<float>& v) : layout(l), values(v) {}
    bool has(std::string_view name) const { return layout.find(name) >= 0; }
    float get(std::string_view name, float fallback) const
    {
        const int i = layout.find(name);
        return i >= 0 && static_cast<std::size_t>(i) < values.size()
                   ? finiteOr(values[static_cast<std::size_t>(i)], fallback)
                   : fallback;
    }

private:
    const LegacyLayout& layout;
    const std::vector<float>& values;
};

// The LFO's shape as XLFO 1's steps. Two steps are the two halves of a
// cycle; a saw rises through nearly the whole cycle and drops at its end.
void shapeXLFO(Converted& plugin, int shape)
{
    enum { sine, triangle, square, sawUp, sawDown, random };
    const bool saw = shape == sawUp || shape == sawDown;
    const float first = shape == sawUp ? -1.0f : 1.0f;
    set(plugin, "Num Active XLFO 1 Steps", 2);
    set(plugin, "XLFO 1 Step 1 Value", first);
    set(plugin, "XLFO 1 Step 2 Value", -first);
    const float glide = shape == sine || shape == triangle || saw ? 1.0f : 0.0f;
    set(plugin, "XLFO 1 Step 1 Glide", glide);
    set(plugin, "XLFO 1 Step 2 Glide", saw ? 0.0f : glide);
    if (shape == sine) {
        setText(plugin, "XLFO 1 Step 1 Glide function", "Sine");
        setText(plugin, "XLFO 1 Step 2 Glide function", "Sine");
    }
    if (saw)
        set(plugin, "XLFO 1 Balance", 0.95f);
    if (shape == random) {
        setText(plugin, "XLFO 1 Step 1 Random", "Random");
        setText(plugin, "XLFO 1 Step 2 Random", "Random");
    }
}

void convertFirstGeneration(Converted& plugin, const KeptValues& kept)
{
    struct Route {
        const char* source;
        int filter;
        float depth;
    };
    std::vector<Route> routes;
    for (int n = 1; n <= OstrandPlugin::numFilters; ++n) {
        const std::string filter = "Filter " + std::to_string(n);
        set(plugin, filter + " Slope", static_cast<float>(position(kept.get(filter + " Slope", 0), 2) + 1));
        set(plugin, filter + " Pan", 3.5f * std::clamp(kept.get(filter + " Pan", 0), -1.0f, 1.0f));
        if (const float d = std::clamp(kept.get(filter + " LFO Depth", 0), -1.0f, 1.0f); d != 0.0f)
            routes.push_back({"XLFO 1", n, d});
    }
    for (int n = 1; n <= OstrandPlugin::numFilters; ++n) {
        const std::string filter = "Filter " + std::to_string(n);
        if (const float d = std::clamp(kept.get(filter + " Env Depth", 0), -1.0f, 1.0f); d != 0.0f)
            routes.push_back({"EF 1", n, d});
    }
    const bool lfo = std::any_of(routes.begin(), routes.end(), [](const Route& r) { return r.source[0] == 'X'; });
    const bool follower = std::any_of(routes.begin(), routes.end(), [](const Route& r) { return r.source[0] == 'E'; });
    if (lfo) {
        set(plugin, "Num Active XLFOs", 1);
        setShown(plugin, "XLFO 1 Frequency", kept.get("LFO Rate", 1.0f));
        set(plugin, "XLFO 1 Sync Mode",
            static_cast<float>(firstGenerationSyncModes[position(kept.get("LFO Sync", 0), 8)]));
        shapeXLFO(plugin, position(kept.get("LFO Shape", 0), 6));
    }
    if (follower) {
        set(plugin, "Num Active EFs", 1);
        setShown(plugin, "EF 1 Attack", kept.get("Env Attack", 0.01f));
        setShown(plugin, "EF 1 Release", kept.get("Env Release", 0.2f));
    }
    set(plugin, "Num Active Slots", static_cast<float>(routes.size()));
    for (std::size_t i = 0; i < routes.size(); ++i) {
        const std::string slot = "Slot " + std::to_string(i + 1);
        setText(plugin, slot + " Source", routes[i].source);
        setText(plugin, slot + " Target", "Filter " + std::to_string(routes[i].filter) + " Freq");
        set(plugin, slot + " Level", std::fabs(routes[i].depth));
        set(plugin, slot + " Inverted", routes[i].depth < 0.0f ? 1.0f : 0.0f);
    }
    // "LFO Stereo Phase" and "Soft Clip" have nothing to become.
}

void convertVersion1(Converted& plugin, const KeptValues& kept)
{
    for (int n = 1; n <= ModulationMatrix::numSlots; ++n) {
        const std::string slot = "Slot " + std::to_string(n);
        const int source = position(kept.get(slot + " Source", 0), 26);
        const int target = position(kept.get(slot + " Target", 0), 92);
        set(plugin, slot + " Source", static_cast<float>(source >= version1FirstMovedSource ? source + 1 : source));
        set(plugin, slot + " Target",
            static_cast<float>(target >= version1FirstMovedTarget ? target + eg6Targets : target));
    }
}

} // namespace

int LegacyLayout::find(std::string_view name) const
{
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i].name == name)
            return static_cast<int>(i);
    return -1;
}

const LegacyLayout& version1Layout(const OstrandPlugin& plugin)
{
    static const LegacyLayout layout = buildVersion1(plugin);
    return layout;
}

const LegacyLayout& firstGenerationLayout(const OstrandPlugin& plugin, std::int32_t version)
{
    static const LegacyLayout version0 = buildFirstGeneration(plugin, 0);
    static const LegacyLayout version1 = buildFirstGeneration(plugin, 1);
    return version == 0 ? version0 : version1;
}

void convertLegacyPreset(const OstrandPlugin& plugin, const LegacyLayout& layout, const std::vector<float>& kept,
                         std::vector<float>& values)
{
    Converted out{plugin, values};
    const KeptValues keptValues(layout, kept);
    if (layout.magic == "MOst")
        convertFirstGeneration(out, keptValues);
    else
        convertVersion1(out, keptValues);
}

std::string legacyPresetBytes(const LegacyLayout& layout, const std::vector<float>& values)
{
    auto stream = std::make_unique<std::ostringstream>(std::ios::binary);
    std::ostringstream& bytes = *stream;
    BinaryDataWriter writer(std::move(stream));
    writer.writeHeader(layout.magic, layout.version);
    writer.writeInt(static_cast<std::int32_t>(values.size()));
    for (float v : values)
        writer.writeFloat(v);
    writer.flush();
    return bytes.str();
}
