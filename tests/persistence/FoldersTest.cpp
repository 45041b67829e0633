#include "persistence/Folders.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

TEST(Folders, EnsureFolderCreatesMissingParents)
{
    TemporaryHome home;
    std::string deep = home.path("a/b/c").string();
    EXPECT_TRUE(ensureFolder(deep + "/"));
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_TRUE(ensureFolder(deep)); // already there

    testsupport::writeFile(home.path("a/file"), "x");
    EXPECT_FALSE(ensureFolder(home.path("a/file").string()));
    EXPECT_FALSE(ensureFolder(home.path("a/file/below").string()));
    EXPECT_FALSE(ensureFolder(""));

    EXPECT_EQ(withTrailingSeparator(""), "");
    EXPECT_EQ(withTrailingSeparator("/x"), "/x/");
    EXPECT_EQ(withTrailingSeparator("/x/"), "/x/");
    EXPECT_EQ(withTrailingSeparator("/"), "/");
}

TEST(Folders, DataAndConfigurationFoldersFollowTheEnvironment)
{
    TemporaryHome home;
    std::string homeFolderPath = home.path("home").string() + "/";
    EXPECT_EQ(homeFolder(), homeFolderPath);
    EXPECT_EQ(applicationDataFolder(), home.path("data").string() + "/");
    EXPECT_EQ(userConfigFolder(), home.path("config").string() + "/");

    ::setenv("XDG_DATA_HOME", "not/absolute", 1);
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(applicationDataFolder(), homeFolderPath + ".local/share/");
    EXPECT_EQ(userConfigFolder(), homeFolderPath + ".config/");

    ::unsetenv("HOME");
    ::unsetenv("XDG_DATA_HOME");
    EXPECT_EQ(applicationDataFolder(), "");
    EXPECT_EQ(documentsFolder(), "");
}

TEST(Folders, DocumentsFolderComesFromUserDirs)
{
    TemporaryHome home;
    std::string homeFolderPath = home.path("home").string() + "/";
    EXPECT_EQ(documentsFolder(), homeFolderPath + "Documents/");

    auto userDirs = home.path("config/user-dirs.dirs");
    testsupport::writeFile(userDirs, "# written by the desktop\n"
                                       "XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
                                       "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
    EXPECT_EQ(documentsFolder(), homeFolderPath + "Dokumente/");

    testsupport::writeFile(userDirs, "XDG_DOCUMENTS_DIR=\"/srv/docs\"\n");
    EXPECT_EQ(documentsFolder(), "/srv/docs/");

    // Lines that are not a usable definition are passed over.
    testsupport::writeFile(userDirs, "XDG_DOCUMENTS_DIRX=\"/a\"\nXDG_DOCUMENTS_DIR=relative\n"
                                       "XDG_DOCUMENTS_DIR=\"$HOMEx/b\"\n");
    EXPECT_EQ(documentsFolder(), homeFolderPath + "Documents/");
}
