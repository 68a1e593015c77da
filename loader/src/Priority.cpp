#include "Priority.h"

#include "Faults.h"
#include "ThreadContext.h"
#include "Trace.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

constexpr const char* kModuleName = "Priority";

struct NiceStep {
    int32_t value; // thread priority or priority class
    int nice;
};

// Linux has per-thread nice values only; the priority values map onto them
// in order, from time critical (-20) to idle (19).
constexpr NiceStep kThreadSteps[] = {
    {THREAD_PRIORITY_TIME_CRITICAL, -20}, {THREAD_PRIORITY_HIGHEST, -10},
    {THREAD_PRIORITY_ABOVE_NORMAL, -5},   {THREAD_PRIORITY_NORMAL, 0},
    {THREAD_PRIORITY_BELOW_NORMAL, 5},    {THREAD_PRIORITY_LOWEST, 10},
    {THREAD_PRIORITY_IDLE, 19},
};

constexpr NiceStep kClassSteps[] = {
    {REALTIME_PRIORITY_CLASS, -20},
    {HIGH_PRIORITY_CLASS, -10},
    {NORMAL_PRIORITY_CLASS, 0},
    {IDLE_PRIORITY_CLASS, 19},
};

template <size_t N>
int NiceOf(const NiceStep (&steps)[N], int32_t value, int fallback) {
    for (const NiceStep& s : steps) {
        if (s.value == value) {
            return s.nice;
        }
    }
    return fallback;
}

// The value whose nice is nearest; ties go to the higher priority.
template <size_t N>
int32_t ValueOfNice(const NiceStep (&steps)[N], int nice) {
    const NiceStep* best = &steps[0];
    for (const NiceStep& s : steps) {
        if (std::abs(s.nice - nice) < std::abs(best->nice - nice)) {
            best = &s;
        }
    }
    return best->value;
}

bool SetThreadNice(int nice) {
    if (FaultFires(Fault::ThreadPriority)) {
        errno = EACCES;
        return false;
    }
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    return setpriority(PRIO_PROCESS, tid, nice) == 0;
}

int ThreadNice() {
    const auto tid = static_cast<id_t>(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, tid);
    return errno == 0 ? nice : 0;
}

} // namespace

int NiceOfThreadPriority(int32_t priority) {
    return NiceOf(kThreadSteps, priority, 0);
}

int32_t ThreadPriorityOfNice(int nice) {
    return ValueOfNice(kThreadSteps, nice);
}

int NiceOfPriorityClass(uint32_t priorityClass) {
    return NiceOf(kClassSteps, static_cast<int32_t>(priorityClass), 0);
}

uint32_t PriorityClassOfNice(int nice) {
    return static_cast<uint32_t>(ValueOfNice(kClassSteps, nice));
}

void SetHighPriority(int32_t priority) {
    Ctx().serial.requestedPriority = priority;
    if (!SetThreadNice(NiceOfThreadPriority(priority))) {
        ErrorTrace("SetHighPriority", __LINE__, kModuleName, DBG_LEVEL_WARNING,
                   "Error: SetHighPriority(%u)", static_cast<uint32_t>(priority));
    }
}

void RestoreNormalPriority() {
    SetThreadNice(NiceOfThreadPriority(THREAD_PRIORITY_NORMAL));
    Ctx().serial.requestedPriority = THREAD_PRIORITY_NORMAL;
}

bool IsNormalPriority() {
    return Ctx().serial.requestedPriority == THREAD_PRIORITY_NORMAL;
}

// The process nice value is the one the main thread and new threads start from.
bool SetProcessPriorityClass(uint32_t priorityClass) {
    if (FaultFires(Fault::ProcessPriority)) {
        errno = EACCES;
        return false;
    }
    return setpriority(PRIO_PROCESS, 0, NiceOfPriorityClass(priorityClass)) == 0;
}

uint32_t GetProcessPriorityClass() {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, static_cast<id_t>(getpid()));
    return PriorityClassOfNice(errno == 0 ? nice : 0);
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
                static_cast<int>(ThreadPriorityOfNice(ThreadNice())));
}
