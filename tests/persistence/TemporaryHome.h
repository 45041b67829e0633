#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

// Points HOME and the XDG folders of this process at a fresh temporary
// folder for the life of the object and puts them back afterwards, so no
// test ever reads or writes the real user's files.
class TemporaryHome {
public:
    TemporaryHome()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrand-home-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
        for (const char* name : variables) {
            const char* value = std::getenv(name);
            saved.emplace_back(value != nullptr, value ? value : "");
        }
        ::setenv("HOME", (root / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (root / "machine").c_str(), 1);
        std::filesystem::create_directories(root / "home");
    }

    ~TemporaryHome()
    {
        for (std::size_t i = 0; i < std::size(variables); ++i) {
            if (saved[i].first)
                ::setenv(variables[i], saved[i].second.c_str(), 1);
            else
                ::unsetenv(variables[i]);
        }
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }

    std::filesystem::path path(const std::string& relative) const { return root / relative; }

    static void writeFile(const std::filesystem::path& file, const std::string& content)
    {
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << content;
    }

    static std::string readFile(const std::filesystem::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        std::string content;
        char buffer[4096];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0)
            content.append(buffer, static_cast<std::size_t>(in.gcount()));
        return content;
    }

private:
    static constexpr const char* variables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS"};
    std::filesystem::path root;
    std::vector<std::pair<bool, std::string>> saved;
};
