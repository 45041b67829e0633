// The preset manager on folder trees made here: order, pinning, flattening,
// numbering, the look-ups the editor and MIDI use, and the scan budget.
#include "persistence/PresetManager.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> names(const PresetManager& m)
{
    std::vector<std::string> list;
    for (const PresetItem* item : m.getFlatList())
        list.push_back(item->name);
    return list;
}

void touch(const TemporaryHome& home, const std::string& relative)
{
    testsupport::writeFile(home.path(relative), "x");
}

} // namespace

TEST(PresetManager, TreeIsSortedPinnedFirstAndFlattenedInPostOrder)
{
    TemporaryHome home;
    for (const char* f : {"p/b.mvp", "p/A.mvp", "p/a2.mvp", "p/notes.txt", "p/UPPER.MVP", "p/Bass/Sub.mvp",
                          "p/_Favourites/Star.mvp", "p/Bass/Deep/Low.mvp", "p/\xc3\x89t\xc3\xa9/Chaud.mvp"})
        touch(home, f);
    PresetManager m(".mvp");
    m.setPath(home.path("p").string());

    // Folders: pinned first, then by name without regard to case, bytes of
    // 0x80 and up (signed) before ASCII; each folder's children before its
    // own presets; extensions match without regard to case.
    EXPECT_EQ(names(m), (std::vector<std::string>{"Star", "Chaud", "Low", "Sub", "A", "a2", "b", "UPPER"}));
    ASSERT_EQ(m.getChildren().size(), 3u);
    EXPECT_EQ(m.getChildren()[0]->getDisplayName(), "Favourites");
    EXPECT_TRUE(m.getChildren()[0]->isPinned());
    EXPECT_EQ(m.getChildren()[2]->getDisplayName(), "Bass");
    EXPECT_EQ(m.getFlatList()[5]->path, home.path("p/a2.mvp").string());

    // Additional folders follow the main tree, under the name given; a
    // folder that does not exist scans as empty.
    touch(home, "old/Classic.mvp");
    m.addFolder("V1 Preset Folder", home.path("old").string());
    m.addFolder("Gone", home.path("nowhere").string());
    EXPECT_EQ(names(m).back(), "Classic");
    EXPECT_EQ(m.getAdditionalFolder(0).getDisplayName(), "V1 Preset Folder");
    EXPECT_TRUE(m.getAdditionalFolder(1).isEmpty());

    // A rescan sees what changed on disk, and tells the listeners (the
    // menus rebuild); a listener may leave while it is told, and one added
    // twice hears once.
    struct Listener final : PresetListener {
        PresetManager& manager;
        bool leave;
        int heard = 0;
        Listener(PresetManager& m, bool l) : manager(m), leave(l) {}
        void presetsChanged() override
        {
            ++heard;
            if (leave)
                manager.removeListener(this);
        }
    } leaving(m, true), staying(m, false);
    m.addListener(&leaving);
    m.addListener(&staying);
    m.addListener(&staying);
    std::filesystem::remove(home.path("p/b.mvp"));
    m.rescan();
    EXPECT_EQ(m.getFlatList().size(), 8u);
    m.rescan();
    EXPECT_EQ(leaving.heard, 1);
    EXPECT_EQ(staying.heard, 2);
}

TEST(PresetManager, NumberingAndLookUps)
{
    TemporaryHome home;
    for (int i = 0; i < 130; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p/P%03d.mvp", i);
        touch(home, name);
    }
    touch(home, "p/p000.mvp"); // the same name but for case: sorts after P000
    PresetManager m(".mvp");
    m.setPath(home.path("p").string());
    ASSERT_EQ(m.getFlatList().size(), 131u);

    const PresetItem* item = m.findProgram(1, 0);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->name, "P127");
    EXPECT_EQ(item->label, "(1/0) P127");
    EXPECT_EQ(m.findProgram(0, 1)->name, "p000");
    EXPECT_EQ(m.findProgram(1, 3), nullptr);
    EXPECT_EQ(m.findProgram(0, 128), nullptr);
    EXPECT_EQ(m.findProgram(-1, 0), nullptr);

    // By name: exact, case matters; the first in flat order wins.
    EXPECT_EQ(m.findByName("p000"), m.getFlatList()[1]);
    EXPECT_EQ(m.findByName("P000"), m.getFlatList()[0]);
    EXPECT_EQ(m.findByName("P00"), nullptr);

    // By path: previous and next wrap around; an unknown path finds nothing.
    const std::string first = m.getFlatList().front()->path;
    const std::string last = m.getFlatList().back()->path;
    EXPECT_EQ(m.findByPath(first, PresetManager::previous)->path, last);
    EXPECT_EQ(m.findByPath(last, PresetManager::next)->path, first);
    EXPECT_EQ(m.findByPath(first, PresetManager::itself)->path, first);
    EXPECT_EQ(m.findByPath(first, PresetManager::next), m.getFlatList()[1]);
    EXPECT_EQ(m.findByPath(home.path("p/none.mvp").string(), PresetManager::next), nullptr);
}

// A clock that moves on by 400 ms each time it is read: the 2500 ms budget
// runs out after a handful of folders, whatever the machine's speed.
TEST(PresetManager, ScanStopsDescendingWhenTheBudgetIsSpentButListsEveryVisitedFolder)
{
    TemporaryHome home;
    std::string deep = "p";
    for (int level = 0; level < 12; ++level) {
        deep += "/d" + std::to_string(level);
        touch(home, deep + "/preset" + std::to_string(level) + ".mvp");
        touch(home, deep + "/side/s" + std::to_string(level) + ".mvp");
    }
    std::int64_t now = 0;
    PresetManager m(".mvp", [&now] { return now += 400; });
    m.setPath(home.path("p").string());

    // Walk down the first branch as far as the scan went.
    int visited = 0;
    const PresetFolder* folder = &m;
    while (!folder->getChildren().empty()) {
        folder = folder->getChildren().front().get();
        ++visited;
        EXPECT_FALSE(folder->getPresets().empty()) << "folder at depth " << visited;
    }
    EXPECT_GE(visited, 1);
    EXPECT_LT(visited, 12);
    EXPECT_FALSE(m.getFlatList().empty());
}
