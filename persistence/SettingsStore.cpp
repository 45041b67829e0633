#include "persistence/SettingsStore.h"

#include "persistence/Folders.h"
#include "persistence/posix/AtomicFile.h"
#include "persistence/posix/FolderLock.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <mutex>

namespace {

char lowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

const char hexDigits[] = "0123456789abcdef";

void appendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                out += "\\x";
                out += hexDigits[byte >> 4];
                out += hexDigits[byte & 15];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

// Reads the pieces of one line from left to right; every read reports
// whether the line still makes sense.
class LineReader {
public:
    explicit LineReader(std::string_view text) : line(text) {}

    bool atEnd()
    {
        skipBlanks();
        return line.empty();
    }

    bool word(std::string& result)
    {
        skipBlanks();
        std::size_t length = 0;
        while (length < line.size() && line[length] != ' ' && line[length] != '\t')
            ++length;
        result.assign(line.substr(0, length));
        line.remove_prefix(length);
        return length > 0;
    }

    bool quoted(std::string& result)
    {
        skipBlanks();
        if (line.empty() || line.front() != '"')
            return false;
        line.remove_prefix(1);
        result.clear();
        while (!line.empty()) {
            char c = line.front();
            line.remove_prefix(1);
            if (c == '"')
                return true;
            if (c != '\\') {
                result += c;
                continue;
            }
            if (line.empty())
                return false;
            char escape = line.front();
            line.remove_prefix(1);
            switch (escape) {
            case '\\': result += '\\'; break;
            case '"': result += '"'; break;
            case 'n': result += '\n'; break;
            case 'r': result += '\r'; break;
            case 't': result += '\t'; break;
            case 'x': {
                if (line.size() < 2 || hexDigit(line[0]) < 0 || hexDigit(line[1]) < 0)
                    return false;
                result += static_cast<char>(hexDigit(line[0]) * 16 + hexDigit(line[1]));
                line.remove_prefix(2);
                break;
            }
            default: return false;
            }
        }
        return false; // no closing quote
    }

    bool dword(std::int32_t& result)
    {
        std::string text;
        if (!word(text))
            return false;
        std::int64_t value = 0;
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        if (error != std::errc{} || end != text.data() + text.size() || value < INT32_MIN || value > UINT32_MAX)
            return false;
        result = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return true;
    }

    bool hex(std::vector<std::uint8_t>& result)
    {
        std::string text;
        result.clear();
        if (!word(text))
            return true; // empty data
        if (text.size() % 2 != 0)
            return false;
        for (std::size_t i = 0; i < text.size(); i += 2) {
            int high = hexDigit(text[i]);
            int low = hexDigit(text[i + 1]);
            if (high < 0 || low < 0)
                return false;
            result.push_back(static_cast<std::uint8_t>(high * 16 + low));
        }
        return true;
    }

private:
    void skipBlanks()
    {
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '\r'))
            line.remove_prefix(1);
    }

    std::string_view line;
};

bool parseValue(std::string_view text, std::string& name, SettingsStore::Value& value)
{
    LineReader reader(text);
    std::string type;
    if (!reader.word(type) || !reader.quoted(name))
        return false;
    if (type == "dword") {
        std::int32_t number = 0;
        if (!reader.dword(number))
            return false;
        value = number;
    } else if (type == "sz") {
        std::string content;
        if (!reader.quoted(content))
            return false;
        value = std::move(content);
    } else if (type == "binary") {
        std::vector<std::uint8_t> bytes;
        if (!reader.hex(bytes))
            return false;
        value = std::move(bytes);
    } else {
        return false;
    }
    return reader.atEnd();
}

bool isHeader(std::string_view line)
{
    LineReader reader(line);
    std::string name, version;
    return reader.word(name) && name == SettingsStore::formatName && reader.word(version) &&
           version == std::to_string(SettingsStore::formatVersion) && reader.atEnd();
}

bool isCommentOrBlank(std::string_view line)
{
    std::size_t first = line.find_first_not_of(" \t\r");
    return first == std::string_view::npos || line[first] == '#';
}

// Serialises the read-change-write cycles of this process; FolderLock does
// the same between processes.
std::mutex storeMutex;

} // namespace

bool SettingsStore::NameLess::operator()(std::string_view a, std::string_view b) const
{
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
        auto cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

SettingsStore::Values SettingsStore::parse(std::string_view text)
{
    Values values;
    bool headerSeen = false;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            break; // a last line without its line end may be cut short
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1); // written on another system
        if (isCommentOrBlank(line))
            continue;
        if (!headerSeen) {
            if (!isHeader(line))
                return {};
            headerSeen = true;
            continue;
        }
        std::string name;
        Value value;
        if (parseValue(line, name, value))
            values.insert_or_assign(std::move(name), std::move(value));
    }
    return values;
}

std::string SettingsStore::format(const Values& values)
{
    std::string out = "# Settings of Merovance software; see the product's documentation before editing.\n";
    out += formatName;
    out += ' ' + std::to_string(formatVersion) + '\n';
    for (const auto& [name, value] : values) {
        if (const Dword* number = std::get_if<Dword>(&value)) {
            out += "dword ";
            appendQuoted(out, name);
            out += ' ' + std::to_string(*number);
        } else if (const Text* content = std::get_if<Text>(&value)) {
            out += "sz ";
            appendQuoted(out, name);
            out += ' ';
            appendQuoted(out, *content);
        } else {
            out += "binary ";
            appendQuoted(out, name);
            const Binary& bytes = std::get<Binary>(value);
            if (!bytes.empty())
                out += ' ';
            for (std::uint8_t byte : bytes) {
                out += hexDigits[byte >> 4];
                out += hexDigits[byte & 15];
            }
        }
        out += '\n';
    }
    return out;
}

SettingsStore::Values SettingsStore::load(const std::string& file)
{
    if (file.empty())
        return {};
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        return {};
    return parse(text);
}

bool SettingsStore::store(const std::string& file, const std::string& name, Value value)
{
    std::string::size_type slash = file.rfind('/');
    if (file.empty() || slash == std::string::npos || slash + 1 == file.size())
        return false;
    std::string folder = file.substr(0, slash + 1);
    if (!ensureFolder(folder))
        return false;

    std::lock_guard processLock(storeMutex);
    FolderLock folderLock(folder);
    Values values = load(file);
    auto existing = values.find(name);
    if (existing != values.end())
        existing->second = std::move(value); // keeps the spelling the name already has
    else
        values.emplace(name, std::move(value));
    return replaceFileAtomically(file, format(values));
}
