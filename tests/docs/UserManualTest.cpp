// The user manual (docs/manual) against the product it describes: it names
// every parameter, option and editor command (taken from the code); it
// passes tidy, every link, file and picture resolves and is used; the build
// puts it into the bundle, where the renderer's --help points and where a
// bundle installed elsewhere finds its own copy.
#include "editor/EditorButton.h"
#include "editor/EditorTopBar.h"
#include "editor/OstrandInterface.h"
#include "effect/OstrandPlugin.h"
#include "framework/MidiControllerMap.h"
#include "framework/MidiVirtualPluginParameter.h"
#include "framework/PluginStorage.h"
#include "gui/HeadlessInterface.h"
#include "gui/Menu.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::runCommand;

namespace {

const fs::path manualFolder = OSTRAND_MANUAL_SOURCE;

// The text a reader sees: comments and tags gone (inline elements join their
// neighbours, every other tag separates words), entities decoded, blanks
// collapsed.
std::string visibleText(std::string html)
{
    html = std::regex_replace(html, std::regex("<!--[\\s\\S]*?-->"), " ");
    html = std::regex_replace(html, std::regex("</?(var|b|i|em|strong|code|kbd|small|span|a|dfn|samp)\\b[^>]*>"),
                              "");
    html = std::regex_replace(html, std::regex("<[^>]*>"), " ");
    for (const auto& [entity, character] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""},
                                            {"&nbsp;", " "}, {"&amp;", "&"}})
        html = std::regex_replace(html, std::regex(entity), character);
    return std::regex_replace(html, std::regex("\\s+"), " ");
}

bool isWordCharacter(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

// `phrase` as words of its own: not the middle of a longer word.
bool mentions(const std::string& text, const std::string& phrase)
{
    for (std::size_t at = text.find(phrase); at != std::string::npos; at = text.find(phrase, at + 1)) {
        const std::size_t end = at + phrase.size();
        const bool startsClean = at == 0 || !isWordCharacter(phrase.front()) || !isWordCharacter(text[at - 1]);
        const bool endsClean = end == text.size() || !isWordCharacter(phrase.back()) || !isWordCharacter(text[end]);
        if (startsClean && endsClean)
            return true;
    }
    return false;
}

// A name as the manual writes it for every instance: the first number is
// "n", the second "m" ("XLFO 2 Step 5 Value" is "XLFO n Step m Value").
std::string generic(const std::string& name)
{
    std::string out;
    int numbers = 0;
    for (std::size_t i = 0; i < name.size();) {
        if (std::isdigit(static_cast<unsigned char>(name[i]))) {
            out += numbers++ == 0 ? "n" : "m";
            while (i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])))
                ++i;
        } else {
            out += name[i++];
        }
    }
    return out;
}

void addMenu(std::set<std::string>& names, const gui::Menu& menu)
{
    for (const gui::Menu::Item& item : menu.items) {
        if (item.separator)
            continue;
        // Submenu entries that name a learned controller are examples.
        if (item.text.rfind("CC ", 0) != 0)
            names.insert(item.text);
        if (item.submenu)
            addMenu(names, *item.submenu);
    }
}

std::string missing(const std::string& text, const std::set<std::string>& names)
{
    std::string absent;
    for (const std::string& name : names)
        if (!mentions(text, name))
            absent += "\n  " + name;
    return absent;
}

} // namespace

TEST(UserManual, NamesEveryParameterOptionSourceAndEditorCommand)
{
    // The plug-in reads and writes no user files here.
    static PluginStorage inert;
    PluginStorage::install(&inert);
    OstrandPlugin plugin;
    const std::string text = visibleText(readFile(manualFolder / "index.html"));

    // Every parameter by the name hosts, presets and the renderer use, and
    // every option a parameter offers (every kind of modulation source among
    // them).
    std::set<std::string> parameters, options;
    for (int i = 0; i < plugin.getParameterCount(); ++i) {
        const AbstractPluginParameter* p = plugin.getParameter(i);
        parameters.insert(generic(p->getName()));
        if (!p->isEnumerated())
            continue;
        for (int v = static_cast<int>(p->getMin()); v <= static_cast<int>(p->getMax()); ++v) {
            const std::string option = p->valueToText(static_cast<float>(v));
            // Numbers (slopes, routing positions, controller numbers) are
            // ranges, not names.
            if (!std::regex_match(option, std::regex("[0-9]+")))
                options.insert(std::regex_search(option, std::regex("[A-Za-z]")) ? generic(option) : option);
        }
    }
    for (int i = 0; const MidiVirtualPluginParameter* v = plugin.getVirtualParameter(GenericPlugin::firstVirtualIndex + i);
         ++i)
        parameters.insert(v->getName());
    EXPECT_GT(parameters.size(), 50u);
    EXPECT_EQ(missing(text, parameters), "") << "parameters the manual does not name";
    EXPECT_EQ(missing(text, options), "") << "options the manual does not name";

    // The bar's buttons (by the name their hint gives them, else their
    // caption) and the items of the Help and MIDI menus, with and without
    // a learned controller and with MIDI switched off.
    gui::HeadlessInterface ui(plugin.getEditorWidth(), plugin.getEditorHeight());
    OstrandInterface editor(ui, plugin);
    std::set<std::string> commands;
    const std::regex buttonName("^The (.+?) button");
    for (const gui::Control* control : editor.topBar().children()) {
        const auto* button = dynamic_cast<const EditorButton*>(control);
        if (!button)
            continue;
        std::smatch match;
        const std::string hint = button->hint.get();
        if (std::regex_search(hint, match, buttonName))
            commands.insert(match[1]);
        else if (!button->caption.get().empty())
            commands.insert(button->caption.get());
    }
    EXPECT_GE(commands.size(), 9u) << "the bar has undo, redo, A/B, copy, three preset buttons, help and MIDI";
    addMenu(commands, editor.helpMenu());
    addMenu(commands, editor.midiMenu());
    MidiControllerMap* map = GenericPlugin::getSharedControllerMap();
    ASSERT_NE(map, nullptr);
    map->assign(74, plugin.filters[0].freq.getIndex());
    addMenu(commands, editor.midiMenu());
    map->clearAll();
    plugin.getParameter(plugin.findParameter("Receive MIDI"))->setValue(GenericPlugin::Disabled, 0);
    plugin.applyQueuedChangesAtOnce();
    addMenu(commands, editor.midiMenu());
    EXPECT_TRUE(commands.count("Help Topics") && commands.count("Clear All") && commands.count("Enable"));
    EXPECT_EQ(missing(text, commands), "") << "editor commands the manual does not name";

    // The Presets button's hint sends the reader to a part of the manual by
    // its title.
    std::smatch reference;
    const std::string presetsHint = editor.topBar().presets.hint.get();
    ASSERT_TRUE(std::regex_search(presetsHint, reference, std::regex("see (.+?) in the help file")));
    const std::string html = readFile(manualFolder / "index.html");
    EXPECT_TRUE(std::regex_search(html, std::regex("<h[23] id=\"[^\"]+\">" + reference[1].str() + "</h[23]>")))
        << "no section titled " << reference[1];
}

TEST(UserManual, IsValidAndEveryLinkAndPictureResolves)
{
    const testsupport::Outcome page = runCommand("tidy -q -e '" + (manualFolder / "index.html").string() + "'");
    EXPECT_EQ(page.status, 0) << page.output;

    const std::string html = readFile(manualFolder / "index.html");
    std::set<std::string> ids;
    const std::regex idAttribute("\\bid=\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), idAttribute); it != std::sregex_iterator(); ++it)
        ids.insert((*it)[1]);

    std::set<fs::path> used{manualFolder / "index.html"};
    const std::regex linkAttribute(R"re(\b(?:href|src)="([^"]*)")re");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), linkAttribute); it != std::sregex_iterator(); ++it) {
        const std::string link = (*it)[1];
        if (link.rfind("http", 0) == 0 || link.rfind("mailto:", 0) == 0)
            continue;
        const std::size_t hash = link.find('#');
        const std::string file = link.substr(0, hash);
        if (!file.empty()) {
            const fs::path target = fs::weakly_canonical(manualFolder / file);
            EXPECT_TRUE(fs::is_regular_file(target)) << (*it)[0] << " names no file";
            EXPECT_EQ(target.string().rfind(fs::weakly_canonical(manualFolder).string(), 0), 0u)
                << link << " lies outside the manual";
            used.insert(target);
        }
        if (hash != std::string::npos) {
            EXPECT_TRUE(file.empty() && ids.count(link.substr(hash + 1))) << link << " names no part of the page";
        }
    }

    // Every file of the manual is used, every diagram is well-formed XML,
    // and every picture of the editor is one the picture script makes.
    const std::string script = readFile(OSTRAND_PICTURE_SCRIPT);
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(manualFolder)) {
        if (!entry.is_regular_file())
            continue;
        const fs::path file = fs::weakly_canonical(entry.path());
        EXPECT_TRUE(used.count(file)) << file << " is not used by the manual";
        if (file.extension() == ".svg") {
            const testsupport::Outcome diagram = runCommand("tidy -xml -q -e '" + file.string() + "'");
            EXPECT_EQ(diagram.status, 0) << file << "\n" << diagram.output;
        }
        if (file.extension() == ".png") {
            EXPECT_TRUE(std::regex_search(script, std::regex("_picture " + file.stem().string() + "\\b")))
                << file.filename() << " is not made by " << OSTRAND_PICTURE_SCRIPT;
        }
    }
}

TEST(HelpTopics, AnInstalledBundleNamesItsOwnCopyOfTheBundledManual)
{
    // The build's bundle holds every file of the manual, where the
    // renderer's --help points.
    const fs::path built = fs::path(OSTRAND_LV2_BUNDLE) / "manual";
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(manualFolder)) {
        const fs::path copy = built / fs::relative(entry.path(), manualFolder);
        EXPECT_TRUE(!entry.is_regular_file() || (fs::is_regular_file(copy) && readFile(copy) == readFile(entry.path())))
            << copy << " is not the manual's " << entry.path().filename();
    }
    EXPECT_NE(runCommand("'" OSTRAND_RENDER "' --help").output.find(fs::canonical(built / "index.html").string()),
              std::string::npos);

    // Installed as ./dev install does it: the whole bundle in another LV2
    // folder, which a real host (lv2file) is told to search. Under a folder
    // name of its own, so that only the module's own place leads to this
    // copy. The last instance writes the settings back, the help file's name
    // among them.
    testsupport::ScratchFolder dir;
    const fs::path installed = fs::path(dir / "lv2") / "ostrand-installed.lv2";
    fs::create_directories(installed.parent_path());
    fs::copy(OSTRAND_LV2_BUNDLE, installed, fs::copy_options::recursive);
    ASSERT_EQ(runCommand("sox -n -r 48000 -c 4 '" + dir / "in.wav" + "' trim 0 0.05").status, 0);
    const testsupport::Outcome hosted = runCommand("XDG_CONFIG_HOME='" + dir / "config" + "' LV2_PATH='" + dir / "lv2" +
                                                   "' lv2file -i '" + dir / "in.wav" + "' -o '" + dir / "out.wav" +
                                                   "' urn:merovance:ostrand2");
    ASSERT_EQ(hosted.status, 0) << hosted.output;
    const std::string settings = readFile(dir / "config/Merovance/Ostrand/2.0.settings");
    const std::string manual = fs::canonical(installed / "manual/index.html").string();
    EXPECT_NE(settings.find("sz \"HelpFileName\" \"" + manual + "\"\n"), std::string::npos) << settings;
}
