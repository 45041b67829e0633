#pragma once

// Helpers for tests on a real X server: Xvfb on a free display number for
// the life of an object, and the output of a command.
#include "TestFiles.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace xtest {

// What a shell command writes to its standard output.
inline std::string capture(const std::string& command)
{
    return testsupport::runCommand("{ " + command + " ; } 2>/dev/null").output;
}

// Xvfb on the first free display number, which it reports when ready; it
// is stopped when the object goes.
class VirtualDisplay {
public:
    VirtualDisplay()
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        server = fork();
        if (server == 0) {
            const std::string fd = std::to_string(fds[1]);
            std::freopen("/dev/null", "w", stderr);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
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
    ~VirtualDisplay()
    {
        if (server > 0) {
            kill(server, SIGTERM);
            waitpid(server, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    std::string name;

private:
    pid_t server = -1;
};

} // namespace xtest
