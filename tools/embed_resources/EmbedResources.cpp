// Build-time generator: writes one C++ source holding every given file as a
// named byte array, plus the sorted table that EmbeddedResources.h declares.
//
//     ostrand_embed_resources OUTPUT.cpp FILE...
//     ostrand_embed_resources --added OUTPUT.cpp FILE...
//     ostrand_embed_resources --function NAME OUTPUT.cpp FILE...
//
// The second form is for resources built by a tool that needs the layers
// above the resource lookup (the factory content): instead of defining
// embeddedResources() the source adds its table through addResourceTable
// when the program starts, so it must be linked as objects (an OBJECT
// library), never from an archive.
//
// The third form defines the table as `std::span<const EmbeddedResource>
// NAME()` for a part of the program that adds it itself (with
// addResourceTable) when it first needs it: the editor's images, which only
// the modules that show an editor carry.
//
// Bytes go out inside string literals, which the compiler reads far faster
// than a list of integer initialisers: printable ASCII as itself, everything
// else as a three-digit octal escape (which, unlike a hex escape, can never
// swallow the character after it); question marks are escaped too, so no
// compiler can read a trigraph. Two files whose names
// reduce to the same resource name stop the build: a lookup could only ever
// find one of them.

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Entry {
    std::string name;
    std::filesystem::path file;
};

std::string resourceName(const std::filesystem::path& file)
{
    std::string name = file.filename().string();
    name = name.substr(0, name.find('.'));
    for (char& c : name)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return name;
}

void appendLiteralChar(std::string& out, unsigned char c)
{
    if (c >= 0x20 && c < 0x7f && c != '\\' && c != '"' && c != '?') {
        out += static_cast<char>(c);
    } else {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\%03o", c);
        out += escape;
    }
}

std::string stringLiteral(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text)
        appendLiteralChar(out, c);
    return out + "\"";
}

bool writeBytes(std::ostream& out, const std::filesystem::path& file, std::size_t& size)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        return false;
    size = bytes.size();
    constexpr std::size_t bytesPerLine = 40;
    std::string line;
    out << "    \"\"";
    for (std::size_t i = 0; i < bytes.size(); i += bytesPerLine) {
        line.clear();
        for (std::size_t j = i; j < std::min(bytes.size(), i + bytesPerLine); ++j)
            appendLiteralChar(line, static_cast<unsigned char>(bytes[j]));
        out << "\n    \"" << line << '"';
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    const char* program = argv[0];
    const bool added = argc > 1 && std::string(argv[1]) == "--added";
    if (added) {
        --argc;
        ++argv;
    }
    std::string function = "embeddedResources";
    if (!added && argc > 2 && std::string(argv[1]) == "--function") {
        function = argv[2];
        argc -= 2;
        argv += 2;
    }
    if (argc < 2) {
        std::cerr << "usage: " << program << " [--added | --function NAME] OUTPUT.cpp FILE...\n";
        return 2;
    }
    std::vector<Entry> entries;
    for (int i = 2; i < argc; ++i)
        entries.push_back({resourceName(argv[i]), argv[i]});
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].name.empty()) {
            std::cerr << "error: " << entries[i].file << " gives an empty resource name\n";
            return 1;
        }
        if (i > 0 && entries[i].name == entries[i - 1].name) {
            std::cerr << "error: " << entries[i - 1].file << " and " << entries[i].file
                      << " share the resource name \"" << entries[i].name << "\"\n";
            return 1;
        }
    }

    // Written beside the target and renamed, so an interrupted run never
    // leaves a half-written source that looks up to date.
    std::filesystem::path output = argv[1];
    std::filesystem::path partial = output;
    partial += ".partial";
    {
        std::ofstream out(partial, std::ios::binary | std::ios::trunc);
        out << "// Generated at build time from the resources folder; do not edit.\n"
               "#include \"resources/EmbeddedResources.h\"\n"
            << (added ? "#include \"persistence/Resource.h\"\n" : "") << "\nnamespace {\n";
        std::vector<std::size_t> sizes;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            std::size_t size = 0;
            out << "\n// " << entries[i].file.filename().string() << "\nconst unsigned char resource" << i
                << "[] =\n";
            if (!writeBytes(out, entries[i].file, size)) {
                std::cerr << "error: cannot read " << entries[i].file << "\n";
                return 1;
            }
            out << ";\n";
            sizes.push_back(size);
        }
        out << "\nconst EmbeddedResource table[] = {\n";
        for (std::size_t i = 0; i < entries.size(); ++i)
            out << "    {" << stringLiteral(entries[i].name) << ", resource" << i << ", " << sizes[i] << "u},\n";
        if (added)
            out << "    {nullptr, nullptr, 0u},\n};\n\n"
                   "const bool tableAdded = (addResourceTable({table, "
                << entries.size() << "u}), true);\n\n} // namespace\n";
        else
            out << "    {nullptr, nullptr, 0u},\n};\n\n} // namespace\n\n"
                   "std::span<const EmbeddedResource> "
                << function << "()\n{\n"
                   "    return {table, "
                << entries.size() << "u};\n}\n";
        out.close();
        if (!out) {
            std::cerr << "error: cannot write " << partial << "\n";
            return 1;
        }
    }
    std::error_code error;
    std::filesystem::rename(partial, output, error);
    if (error) {
        std::cerr << "error: cannot write " << output << ": " << error.message() << "\n";
        return 1;
    }
    return 0;
}
