#include "framework/posix/PosixFileEnumerator.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <cstring>

PosixFileEnumerator::PosixFileEnumerator(const std::string& path, const std::string& nameEnding, bool listDirectories)
    : folder(path.empty() || path.back() == '/' ? path : path + "/"), extension(nameEnding),
      directories(listDirectories), handle(path.empty() ? nullptr : opendir(path.c_str()))
{
}

PosixFileEnumerator::~PosixFileEnumerator()
{
    if (handle)
        closedir(static_cast<DIR*>(handle));
}

bool PosixFileEnumerator::next()
{
    if (!handle)
        return false;
    while (dirent* entry = readdir(static_cast<DIR*>(handle))) {
        if (accepts(entry->d_name, entry->d_type)) {
            name = entry->d_name;
            return true;
        }
    }
    // End or error: either way the walk is over.
    closedir(static_cast<DIR*>(handle));
    handle = nullptr;
    name.clear();
    return false;
}

bool PosixFileEnumerator::accepts(const char* entryName, unsigned char entryType) const
{
    if (std::strcmp(entryName, ".") == 0 || std::strcmp(entryName, "..") == 0)
        return false;
    std::size_t length = std::strlen(entryName);
    if (length < extension.size() ||
        strcasecmp(entryName + length - extension.size(), extension.c_str()) != 0)
        return false;

    bool isDirectory = entryType == DT_DIR;
    if (entryType == DT_UNKNOWN || entryType == DT_LNK) {
        struct stat info;
        if (stat((folder + entryName).c_str(), &info) != 0)
            return false;
        isDirectory = S_ISDIR(info.st_mode);
    }
    return isDirectory == directories;
}

std::unique_ptr<FileEnumerator> createFileEnumerator(const std::string& folder, const std::string& extension,
                                                     bool directories)
{
    return std::make_unique<PosixFileEnumerator>(folder, extension, directories);
}
