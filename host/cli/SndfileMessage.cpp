#include "host/cli/SndfileMessage.h"

std::string sndfileReason(std::string message, const char* fallback)
{
    const std::string prefix = "System error : ";
    if (message.starts_with(prefix))
        message.erase(0, prefix.size());
    while (!message.empty() && (message.back() == '.' || message.back() == ' ' || message.back() == '\n'))
        message.pop_back();
    return message.empty() ? fallback : message;
}
