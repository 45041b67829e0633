#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

// The document bundle the factory content ships in. All integers are
// little-endian.
//
//   Header, 28 bytes: "MS/ISB/3"; uint32 size of everything after the
//   header; uint32 total unpacked size of the files; uint32 number of folder
//   records; uint32 reserved (0); uint32 number of file records. Then 25
//   bytes, the producer's name padded with zeros, before the first record.
//
//   A record: a 76-byte head, then its body. Head: byte 0 the name length n
//   (at most 63), bytes 1..n the name, then zeros up to byte 63; bytes
//   64..67 uint32 time stamp (seconds since 1970); 68..71 uint32 body size;
//   72..75 int32 kind: -1 for a folder, else the file's unpacked size.
//   A folder's body is its child records followed by an empty folder
//   record (name length 0, body size 0). A file's body is its content as
//   one zlib stream.
//
//   The top level holds the folders "ApplicationData" and "FactoryPresets"
//   and ends with an empty folder record.
namespace DocumentBundleFormat {
inline constexpr std::string_view magic = "MS/ISB/3";
inline constexpr std::size_t headerSize = 28;
inline constexpr std::size_t padding = 25;
inline constexpr std::size_t recordHeadSize = 76;
inline constexpr std::size_t maxNameLength = 63;
inline constexpr std::int32_t folderKind = -1;
} // namespace DocumentBundleFormat

// Reads a bundle held in memory (the bytes stay the caller's). Every length
// is checked against the bytes there are; records whose names could leave
// their folder ("", ".", "..", or holding "/", "\\" or a zero byte) are
// skipped, and folders nest at most 32 deep, so a damaged or hostile bundle
// yields fewer files, never a write outside the destination.
class DocumentBundle {
public:
    explicit DocumentBundle(std::span<const std::uint8_t> bytes);

    // Whether the bytes start with the bundle's magic.
    bool isValid() const;

    // Calls `visit` with the path relative to the top-level folder `folder`
    // (found without regard to ASCII case; components joined by "/") and the
    // unpacked content of every file below it whose zlib stream decodes
    // completely to its stated size. Files of more than 64 MiB are skipped.
    // False when the bundle is not valid or has no such folder.
    bool forEachFile(std::string_view folder,
                     const std::function<void(const std::string& path, const std::string& content)>& visit) const;

    // Writes the files below the top-level folder `folder` into the folder
    // `destination`, creating missing folders. A file that already exists is
    // never replaced. Returns the number of files written.
    int extract(std::string_view folder, const std::string& destination) const;

private:
    std::span<const std::uint8_t> bytes;
};
