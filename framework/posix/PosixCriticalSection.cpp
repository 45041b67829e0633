#include "framework/posix/PosixCriticalSection.h"

std::unique_ptr<CriticalSection> CriticalSection::create()
{
    return std::make_unique<PosixCriticalSection>();
}
