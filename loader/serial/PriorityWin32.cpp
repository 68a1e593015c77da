// Priorities on Windows: the thread priority and process priority class
// services. The priority values of Priority.h are the platform's own, so
// they pass through unchanged. windows.h defines those names as macros,
// which is why this file does not include Priority.h.
#include "serial/PriorityPlatform.h"

#include <windows.h>

namespace platform {

bool SetCurrentThreadPriority(int32_t priority) {
    return SetThreadPriority(GetCurrentThread(), priority) != 0;
}

int32_t CurrentThreadPriority() {
    return GetThreadPriority(GetCurrentThread());
}

bool SetProcessClass(uint32_t priorityClass) {
    return SetPriorityClass(GetCurrentProcess(), priorityClass) != 0;
}

uint32_t ProcessClass() {
    return GetPriorityClass(GetCurrentProcess());
}

} // namespace platform
