#include "host/cli/posix/Terminal.h"

#include <csignal>
#include <unistd.h>

namespace {
volatile std::sig_atomic_t interrupted = 0;

extern "C" void onInterrupt(int)
{
    interrupted = 1;
}
} // namespace

bool isTerminal(std::FILE* stream)
{
    return stream && ::isatty(::fileno(stream)) == 1;
}

void catchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interruptRequested()
{
    return interrupted != 0;
}
