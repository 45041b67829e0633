#pragma once

// Helpers for tests on a real X server: Xvfb on a free display number,
// child processes that end with the test, and the output of a command.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace xtest {

// Output of a shell command.
inline std::string capture(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

// A child process that is stopped when the object goes.
class Child {
public:
    explicit Child(std::vector<std::string> args, const std::string& display = {}, int keepFd = -1)
    {
        pid = fork();
        if (pid == 0) {
            if (!display.empty())
                setenv("DISPLAY", display.c_str(), 1);
            if (keepFd < 0) {
                std::freopen("/dev/null", "w", stdout);
                std::freopen("/dev/null", "w", stderr);
            }
            std::vector<char*> argv;
            for (std::string& a : args)
                argv.push_back(a.data());
            argv.push_back(nullptr);
            execvp(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Child()
    {
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

private:
    pid_t pid = -1;
};

// Xvfb on the first free display number, which it reports when ready.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        server = std::make_unique<Child>(std::vector<std::string>{"Xvfb", "-displayfd", std::to_string(fds[1]),
                                                                  "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                                         "", fds[1]);
        close(fds[1]);
        pollfd p{fds[0], POLLIN, 0};
        std::string number;
        char c;
        while (poll(&p, 1, 15000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (!number.empty())
            name = ":" + number;
    }
    std::string name;

private:
    std::unique_ptr<Child> server;
};

} // namespace xtest
