#include "DocumentBundleWriter.h"

#include "persistence/DocumentBundle.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <utility>
#include <map>
#include <memory>
#include <stdexcept>

namespace {

namespace format = DocumentBundleFormat;

constexpr char producer[] = "Merovance Ostrand 2";
static_assert(sizeof producer <= format::padding);

void putUint(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

struct Node {
    std::map<std::string, std::unique_ptr<Node>> folders;
    std::map<std::string, const std::string*> files;
};

struct Counts {
    std::uint32_t folders = 0;
    std::uint32_t files = 0;
    std::uint64_t unpacked = 0;
};

std::string packed(const std::string& content)
{
    uLongf size = compressBound(static_cast<uLong>(content.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(content.data()),
                  static_cast<uLong>(content.size()), Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib cannot pack a file");
    out.resize(size);
    return out;
}

void record(std::string& out, const std::string& name, std::int32_t kind, const std::string& body)
{
    if (name.size() > format::maxNameLength)
        throw std::runtime_error("the name '" + name + "' is longer than 63 bytes");
    std::string head(format::recordHeadSize, '\0');
    head[0] = static_cast<char>(name.size());
    std::copy(name.begin(), name.end(), head.begin() + 1);
    std::string numbers;
    putUint(numbers, 0); // time stamp
    putUint(numbers, static_cast<std::uint32_t>(body.size()));
    putUint(numbers, static_cast<std::uint32_t>(kind));
    std::copy(numbers.begin(), numbers.end(), head.begin() + 64);
    out += head;
    out += body;
}

// The records of a folder's children and its closing record.
std::string folderBody(const Node& node, Counts& counts)
{
    std::string body;
    for (const auto& [name, child] : node.folders) {
        ++counts.folders;
        record(body, name, format::folderKind, folderBody(*child, counts));
    }
    for (const auto& [name, content] : node.files) {
        ++counts.files;
        counts.unpacked += content->size();
        record(body, name, static_cast<std::int32_t>(content->size()), packed(*content));
    }
    record(body, {}, format::folderKind, {});
    return body;
}

} // namespace

std::string writeDocumentBundle(const std::vector<BundleFile>& files)
{
    Node root;
    for (const BundleFile& file : files) {
        Node* node = &root;
        std::string rest = file.path;
        for (auto slash = rest.find('/'); slash != std::string::npos; slash = rest.find('/')) {
            auto& child = node->folders[rest.substr(0, slash)];
            if (!child)
                child = std::make_unique<Node>();
            node = child.get();
            rest.erase(0, slash + 1);
        }
        node->files[rest] = &file.content;
    }
    Counts counts;
    const std::string records = folderBody(root, counts);

    std::string out(format::magic);
    putUint(out, static_cast<std::uint32_t>(format::padding + records.size()));
    putUint(out, static_cast<std::uint32_t>(counts.unpacked));
    putUint(out, counts.folders);
    putUint(out, 0);
    putUint(out, counts.files);
    std::string pad(format::padding, '\0');
    std::copy(std::begin(producer), std::end(producer) - 1, pad.begin());
    return out + pad + records;
}

std::vector<BundleFile> bundleFilesBelow(const std::string& root)
{
    namespace fs = std::filesystem;
    std::vector<BundleFile> files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file())
            continue;
        std::string content(static_cast<std::size_t>(entry.file_size()), '\0');
        std::ifstream(entry.path(), std::ios::binary).read(content.data(), static_cast<std::streamsize>(content.size()));
        files.push_back({fs::relative(entry.path(), root).generic_string(), std::move(content)});
    }
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return files;
}
