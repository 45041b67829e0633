#include "framework/FileEnumerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

namespace {

std::set<std::string> list(const std::string& folder, const std::string& extension, bool directories)
{
    std::set<std::string> names;
    auto enumerator = createFileEnumerator(folder, extension, directories);
    while (enumerator->next())
        names.insert(enumerator->currentName());
    EXPECT_FALSE(enumerator->next()); // stays at the end
    return names;
}

} // namespace

TEST(FileEnumerator, ListsFilesOrFoldersByExtension)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ostrand-enum-XXXXXX").string();
    std::filesystem::path root = ::mkdtemp(pattern.data());
    for (const char* file : {"b.mvp", "A.MVP", "notes.txt", "mvp", ".mvp", "x.mvp.bak"})
        std::ofstream(root / file) << "x";
    for (const char* folder : {"Bass", "_Favourites", "Pads.mvp"})
        std::filesystem::create_directory(root / folder);
    std::filesystem::create_directory_symlink(root / "Bass", root / "LinkedFolder");
    std::filesystem::create_symlink(root / "b.mvp", root / "linked.mvp");
    std::filesystem::create_symlink(root / "gone.mvp", root / "dangling.mvp");

    using Names = std::set<std::string>;
    EXPECT_EQ(list(root.string(), ".mvp", false), (Names{"b.mvp", "A.MVP", ".mvp", "linked.mvp"}));
    EXPECT_EQ(list(root.string() + "/", "", true), (Names{"Bass", "_Favourites", "Pads.mvp", "LinkedFolder"}));
    EXPECT_EQ(list(root.string(), ".MVP", true), (Names{"Pads.mvp"}));
    EXPECT_EQ(list(root.string(), "", false),
              (Names{"b.mvp", "A.MVP", "notes.txt", "mvp", ".mvp", "x.mvp.bak", "linked.mvp"}));
    EXPECT_TRUE(list((root / "missing").string(), "", false).empty());
    EXPECT_TRUE(list("", "", true).empty());
    std::filesystem::remove_all(root);
}
