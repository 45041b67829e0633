#include "persistence/posix/FolderLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <thread>

FolderLock::FolderLock(const std::string& folder)
{
    int handle = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (handle < 0)
        return;
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::flock(handle, LOCK_EX | LOCK_NB) == 0) {
            fd = handle;
            return;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            break; // a file system without locks
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::close(handle);
}

FolderLock::~FolderLock()
{
    if (fd >= 0) {
        ::flock(fd, LOCK_UN);
        ::close(fd);
    }
}
