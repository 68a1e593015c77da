#include "serial/Priority.h"

#include "frame/Faults.h"
#include "frame/ThreadContext.h"
#include "frame/Trace.h"
#include "serial/PriorityPlatform.h"

#include <cstdio>

namespace {

constexpr const char* kModuleName = "Priority";

} // namespace

void SetHighPriority(int32_t priority) {
    Ctx().serial.requestedPriority = priority;
    const bool refused = FaultFires(Fault::ThreadPriority);
    if (refused || !platform::SetCurrentThreadPriority(priority)) {
        ErrorTrace("SetHighPriority", __LINE__, kModuleName, DBG_LEVEL_WARNING,
                   "Error: SetHighPriority(%u)", static_cast<uint32_t>(priority));
    }
}

void RestoreNormalPriority() {
    platform::SetCurrentThreadPriority(THREAD_PRIORITY_NORMAL);
    Ctx().serial.requestedPriority = THREAD_PRIORITY_NORMAL;
}

bool IsNormalPriority() {
    return Ctx().serial.requestedPriority == THREAD_PRIORITY_NORMAL;
}

bool SetProcessPriorityClass(uint32_t priorityClass) {
    if (FaultFires(Fault::ProcessPriority)) {
        return false;
    }
    return platform::SetProcessClass(priorityClass);
}

uint32_t GetProcessPriorityClass() {
    return platform::ProcessClass();
}

void ShowPriorities() {
    // No flow of the library records a class; the saved value stays 0.
    constexpr int kSavedPriorityClass = 0;
    std::printf("Class Priority: ");
    std::printf("\n HIGH_PRIORITY_CLASS     : %d", HIGH_PRIORITY_CLASS);
    std::printf("\n IDLE_PRIORITY_CLASS     : %d", IDLE_PRIORITY_CLASS);
    std::printf("\n NORMAL_PRIORITY_CLASS   : %d", NORMAL_PRIORITY_CLASS);
    std::printf("\n REALTIME_PRIORITY_CLASS : %d", REALTIME_PRIORITY_CLASS);
    std::printf("\n Saved PriorityClass.....: %d\n", kSavedPriorityClass);
    std::printf("\n Current PriorityClass...: %d\n", static_cast<int>(GetProcessPriorityClass()));
    std::printf("Thread Priority: ");
    std::printf("\n THREAD_PRIORITY_ABOVE_NORMAL  : %d", THREAD_PRIORITY_ABOVE_NORMAL);
    std::printf("\n THREAD_PRIORITY_BELOW_NORMAL  : %d", THREAD_PRIORITY_BELOW_NORMAL);
    std::printf("\n THREAD_PRIORITY_HIGHEST       : %d", THREAD_PRIORITY_HIGHEST);
    std::printf("\n THREAD_PRIORITY_IDLE          : %d", THREAD_PRIORITY_IDLE);
    std::printf("\n THREAD_PRIORITY_LOWEST        : %d", THREAD_PRIORITY_LOWEST);
    std::printf("\n THREAD_PRIORITY_NORMAL        : %d", THREAD_PRIORITY_NORMAL);
    std::printf("\n THREAD_PRIORITY_TIME_CRITICAL : %d", THREAD_PRIORITY_TIME_CRITICAL);
    std::printf("\n ThreadPriority................: %d",
                static_cast<int>(platform::CurrentThreadPriority()));
}
