#pragma once

// Files, folders and commands for tests: a scratch folder that is removed
// afterwards, a home of the test's own (the plug-in reads and writes the
// user's settings, presets and MIDI map, and no test may touch the real
// ones), whole files read and written, and shell commands with their exit
// status and messages.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

inline std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// Creates the folders above the file as needed.
inline void writeFile(const std::filesystem::path& file, const std::string& content)
{
    if (file.has_parent_path())
        std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

struct Outcome {
    int status = -1; // the exit status; -1 when it did not exit normally
    std::string output;
};

// Runs a shell command; the output holds stdout and stderr together.
inline Outcome runCommand(const std::string& command)
{
    Outcome result;
    if (std::FILE* pipe = popen(("{ " + command + " ; } 2>&1").c_str(), "r")) {
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, pipe))
            result.output += buffer;
        const int raw = pclose(pipe);
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    }
    return result;
}

// A shell script that runs `body` beside a JACK server of its own on the
// dummy backend (no sound hardware), which it stops afterwards.
inline std::string withJackServer(const std::string& body)
{
    return "export JACK_DEFAULT_SERVER=ostrand-test-$$\n"
           "jackd --no-realtime -d dummy -r 48000 -p 256 >/dev/null 2>&1 &\n"
           "server=$!\n"
           "for i in $(seq 100); do [ -S /dev/shm/jack_${JACK_DEFAULT_SERVER}_$(id -u)_0 ] && break; sleep 0.1; done\n" +
           body + "\nkill $server\nwait $server 2>/dev/null\n";
}

// A fresh folder for the life of the object.
class ScratchFolder {
public:
    ScratchFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrand-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            std::abort();
        root = pattern;
    }
    ~ScratchFolder()
    {
        std::error_code error;
        std::filesystem::remove_all(root, error);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::filesystem::path path(const std::string& relative) const { return root / relative; }
    std::string operator/(const std::string& relative) const { return path(relative).string(); }

    std::filesystem::path root;
};

// HOME and the XDG folders point into a scratch folder for the life of the
// object and are put back afterwards.
class TemporaryHome : public ScratchFolder {
public:
    TemporaryHome()
    {
        for (const char* name : variables) {
            const char* value = std::getenv(name);
            saved.emplace_back(value != nullptr, value ? value : "");
        }
        ::setenv("HOME", path("home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", path("config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", path("data").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", path("machine").c_str(), 1);
        std::filesystem::create_directories(path("home"));
    }
    ~TemporaryHome()
    {
        for (std::size_t i = 0; i < std::size(variables); ++i) {
            if (saved[i].first)
                ::setenv(variables[i], saved[i].second.c_str(), 1);
            else
                ::unsetenv(variables[i]);
        }
    }

private:
    static constexpr const char* variables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CONFIG_DIRS"};
    std::vector<std::pair<bool, std::string>> saved;
};

} // namespace testsupport

using testsupport::TemporaryHome;
