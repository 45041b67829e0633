#include "persistence/RegistryReader.h"
#include "persistence/RegistryWriter.h"
#include "persistence/posix/FolderLock.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

// Two writers change different values of one store while a reader keeps
// reading a third: no change is lost and the reader never meets a broken or
// half-written store.
TEST(RegistryConcurrency, WritersTakeTurnsAndReadersSeeWholeFiles)
{
    TemporaryHome home;
    const std::string key = "Software\\Merovance\\Ostrand\\2.0";
    RegistryWriter(key).serializeString("Stable", "unchanged", "");

    std::atomic<bool> writing{true};
    std::atomic<int> brokenReads{0};
    std::thread readerThread([&] {
        RegistryReader reader(RegistryRoot::currentUser, key);
        while (writing.load())
            if (reader.serializeString("Stable", "", "missing") != "unchanged")
                ++brokenReads;
    });
    auto writeMany = [&](const std::string& prefix) {
        RegistryWriter writer(key);
        for (int i = 0; i < 25; ++i)
            writer.serializeInt(prefix + std::to_string(i), i, -1);
    };
    std::thread first(writeMany, "a");
    std::thread second(writeMany, "b");
    first.join();
    second.join();
    writing = false;
    readerThread.join();

    EXPECT_EQ(brokenReads.load(), 0);
    RegistryReader reader(RegistryRoot::currentUser, key);
    for (int i = 0; i < 25; ++i) {
        EXPECT_EQ(reader.serializeInt("a" + std::to_string(i), 0, -1), i);
        EXPECT_EQ(reader.serializeInt("b" + std::to_string(i), 0, -1), i);
    }
}

// The lock between processes: a second holder of the same folder (another
// open file, as in another process) does not get it while the first has it,
// and gives up waiting instead of hanging.
TEST(RegistryConcurrency, FolderLockExcludesASecondHolder)
{
    TemporaryHome home;
    std::string folder = home.path("home").string();
    {
        FolderLock first(folder);
        ASSERT_TRUE(first.isLocked());
        FolderLock second(folder);
        EXPECT_FALSE(second.isLocked());
    }
    FolderLock third(folder);
    EXPECT_TRUE(third.isLocked());
    EXPECT_FALSE(FolderLock(home.path("missing").string()).isLocked());
}
