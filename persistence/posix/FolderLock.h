#pragma once

#include <string>

// An advisory lock on a folder, held while the object lives, so that two
// processes (or two threads) changing a file in the folder take turns. Waits
// at most about a second for another holder and then goes ahead unlocked: a
// stuck process must not hang the caller, and every write is atomic anyway,
// so the worst outcome is that one of two simultaneous changes is lost.
class FolderLock {
public:
    explicit FolderLock(const std::string& folder);
    ~FolderLock();
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

    bool isLocked() const { return fd >= 0; }

private:
    int fd = -1;
};
