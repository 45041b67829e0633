#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

// One file of typed, named settings values: the three value types of a
// registry key (DWORD, SZ, BINARY), kept apart so that a value read as the
// wrong type is never mistaken for a usable one.
//
// The file is UTF-8 text, one value per line, so a user can read it (and, with
// care, edit it):
//
//     # comment lines and blank lines are ignored
//     merovance-settings 1
//     dword "SavePresetItemEnabled" 0
//     sz "HelpFileName" "/usr/share/doc/ostrand/manual.html"
//     binary "WindowLayout" 0a00ff
//
// The first line that is not a comment names the format and its version; a
// file without it, or of another version, holds no values. A name and an sz
// text are quoted, with \\ \" \n \r \t and \xHH escapes (control bytes and
// NUL are always escaped; other bytes stand for themselves). A dword is an
// int32 in decimal (0 to 4294967295 is accepted as well and read as its 32
// bits); binary data is lower-case hex, possibly empty. A line that does not
// parse is skipped on its own, and so is a last line without its line end,
// which may have been cut short; so damage costs only the values it touches.
class SettingsStore {
public:
    using Dword = std::int32_t;
    using Text = std::string;
    using Binary = std::vector<std::uint8_t>;
    using Value = std::variant<Dword, Text, Binary>;

    // Value names compare without regard to ASCII case, as they always have.
    struct NameLess {
        using is_transparent = void;
        bool operator()(std::string_view a, std::string_view b) const;
    };
    using Values = std::map<std::string, Value, NameLess>;

    static constexpr std::string_view formatName = "merovance-settings";
    static constexpr int formatVersion = 1;

    static Values parse(std::string_view text);
    static std::string format(const Values& values);

    // The values of a store file; none when it is missing or unreadable.
    static Values load(const std::string& file);

    // Sets one value in a store file: creates the folders it needs, reads the
    // values that are there (a damaged file counts as empty), changes the one
    // and writes the file back atomically. False when any step failed; the
    // file is then as it was.
    static bool store(const std::string& file, const std::string& name, Value value);
};
