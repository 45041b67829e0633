#include "host/cli/RenderCommand.h"

#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    std::vector<std::string_view> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    return runRenderCommand(arguments);
}
