#pragma once

#include "framework/FileEnumerator.h"

// FileEnumerator over the POSIX directory API. Entries are classified by
// following symbolic links, so a link to a folder counts as a folder; an
// entry that cannot be examined (a dangling link) is left out.
class PosixFileEnumerator : public FileEnumerator {
public:
    PosixFileEnumerator(const std::string& path, const std::string& nameEnding, bool listDirectories);
    ~PosixFileEnumerator() override;
    PosixFileEnumerator(const PosixFileEnumerator&) = delete;
    PosixFileEnumerator& operator=(const PosixFileEnumerator&) = delete;

    bool next() override;
    const std::string& currentName() const override { return name; }

private:
    bool accepts(const char* entryName, unsigned char entryType) const;

    std::string folder;
    std::string extension;
    bool directories;
    void* handle; // DIR*, kept opaque so the header stays free of system headers
    std::string name;
};
