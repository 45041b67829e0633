#pragma once

#include <memory>
#include <string>

// Walks the entries of one folder, either its subfolders or its files.
// Starts before the first entry:
//
//     for (auto e = createFileEnumerator(folder, ".mvp", false); e->next();)
//         use(e->currentName());
//
// The entries "." and ".." are never listed. A folder that cannot be read
// lists nothing; an error part-way ends the walk. The order is the file
// system's; callers sort.
class FileEnumerator {
public:
    virtual ~FileEnumerator() = default;

    // Moves to the next entry; false when there is none.
    virtual bool next() = 0;
    // Name of the current entry, without its folder.
    virtual const std::string& currentName() const = 0;
};

// The platform's enumerator over `folder`. With `directories` set it lists
// only subfolders, otherwise only entries that are not folders. A non-empty
// `extension` (with its dot, ".mvp") keeps only names that end with it,
// compared without regard to ASCII case.
std::unique_ptr<FileEnumerator> createFileEnumerator(const std::string& folder, const std::string& extension,
                                                     bool directories);
