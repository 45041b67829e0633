#include "persistence/DocumentBundle.h"

#include "persistence/Folders.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <cstdio>
#include <optional>

namespace {

namespace format = DocumentBundleFormat;

constexpr int maxDepth = 32;
constexpr std::uint32_t maxFileSize = 64u << 20;

std::uint32_t readUint(std::span<const std::uint8_t> b, std::size_t at)
{
    return std::uint32_t(b[at]) | std::uint32_t(b[at + 1]) << 8 | std::uint32_t(b[at + 2]) << 16 |
           std::uint32_t(b[at + 3]) << 24;
}

struct Record {
    std::string name;
    bool folder = false;
    std::uint32_t unpacked = 0;
    std::span<const std::uint8_t> body;
};

// The record at the start of `area`, and how many bytes it takes; nothing
// when the head or the body runs past the end.
std::optional<Record> readRecord(std::span<const std::uint8_t> area, std::size_t& taken)
{
    if (area.size() < format::recordHeadSize)
        return std::nullopt;
    const std::size_t length = std::min<std::size_t>(area[0], format::maxNameLength);
    const std::uint32_t bodySize = readUint(area, 68);
    const auto kind = static_cast<std::int32_t>(readUint(area, 72));
    if (bodySize > area.size() - format::recordHeadSize)
        return std::nullopt;
    Record r;
    r.name.assign(reinterpret_cast<const char*>(area.data() + 1), length);
    r.folder = kind == format::folderKind;
    r.unpacked = r.folder ? 0 : static_cast<std::uint32_t>(kind);
    r.body = area.subspan(format::recordHeadSize, bodySize);
    taken = format::recordHeadSize + bodySize;
    return r;
}

bool safeName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
}

bool equalIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::optional<std::string> inflateExactly(std::span<const std::uint8_t> packed, std::uint32_t size)
{
    if (size > maxFileSize)
        return std::nullopt;
    std::string out(size, '\0');
    z_stream z{};
    if (inflateInit(&z) != Z_OK)
        return std::nullopt;
    z.next_in = const_cast<Bytef*>(packed.data());
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    // One spare byte of room would show a stream that unpacks to more.
    int status = inflate(&z, Z_FINISH);
    if (status == Z_BUF_ERROR && z.avail_out == 0 && z.avail_in > 0) {
        unsigned char spare;
        z.next_out = &spare;
        z.avail_out = 1;
        status = inflate(&z, Z_FINISH);
    }
    const bool complete = status == Z_STREAM_END && z.total_out == size;
    inflateEnd(&z);
    return complete ? std::optional<std::string>(std::move(out)) : std::nullopt;
}

// A new file, whole or not at all: written beside its place under a hidden
// name and renamed. No flush to the disk: a hundred small files at first
// start would otherwise take a second, and a file lost to a crash is simply
// installed at the next start.
bool writeNewFile(const std::string& file, const std::string& content)
{
    const auto slash = file.rfind('/');
    const std::string partial = file.substr(0, slash + 1) + "." + file.substr(slash + 1) + ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        if (!out.flush()) {
            std::remove(partial.c_str());
            return false;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, file, error);
    if (error)
        std::filesystem::remove(partial, error);
    return !error;
}

using Visit = std::function<void(const std::string&, const std::string&)>;

// Walks the records of a folder body up to its closing record (or the end).
void walk(std::span<const std::uint8_t> area, const std::string& prefix, int depth, const Visit& visit)
{
    if (depth > maxDepth)
        return;
    std::size_t taken = 0;
    while (auto record = readRecord(area, taken)) {
        area = area.subspan(taken);
        if (record->folder && record->name.empty() && record->body.empty())
            return;
        if (!safeName(record->name))
            continue;
        const std::string path = prefix + record->name;
        if (record->folder)
            walk(record->body, path + "/", depth + 1, visit);
        else if (auto content = inflateExactly(record->body, record->unpacked))
            visit(path, *content);
    }
}

} // namespace

DocumentBundle::DocumentBundle(std::span<const std::uint8_t> b) : bytes(b) {}

bool DocumentBundle::isValid() const
{
    return bytes.size() >= format::headerSize &&
           std::equal(format::magic.begin(), format::magic.end(), reinterpret_cast<const char*>(bytes.data()));
}

bool DocumentBundle::forEachFile(std::string_view folder, const Visit& visit) const
{
    if (!isValid() || bytes.size() < format::headerSize + format::padding)
        return false;
    std::span<const std::uint8_t> area = bytes.subspan(format::headerSize + format::padding);
    std::size_t taken = 0;
    while (auto record = readRecord(area, taken)) {
        area = area.subspan(taken);
        if (record->folder && record->name.empty() && record->body.empty())
            break;
        if (record->folder && equalIgnoringCase(record->name, folder)) {
            walk(record->body, {}, 1, visit);
            return true;
        }
    }
    return false;
}

int DocumentBundle::extract(std::string_view folder, const std::string& destination) const
{
    const std::string root = withTrailingSeparator(destination);
    if (root.empty())
        return 0;
    int written = 0;
    forEachFile(folder, [&](const std::string& path, const std::string& content) {
        const std::string file = root + path;
        std::error_code error;
        if (std::filesystem::exists(std::filesystem::symlink_status(file, error)))
            return;
        const auto slash = file.rfind('/');
        if (ensureFolder(file.substr(0, slash)) && writeNewFile(file, content))
            ++written;
    });
    return written;
}
