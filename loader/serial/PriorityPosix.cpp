// Priorities on Linux: per-thread and process nice values stand for the
// thread priorities and priority classes.
#include "serial/Priority.h"
#include "serial/PriorityPlatform.h"

#include <cerrno>
#include <cstdlib>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

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

id_t ThreadId() {
    return static_cast<id_t>(syscall(SYS_gettid));
}

// The nice value of a thread or process; 0 when it cannot be read.
int NiceOfTask(id_t task) {
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, task);
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

namespace platform {

bool SetCurrentThreadPriority(int32_t priority) {
    return setpriority(PRIO_PROCESS, ThreadId(), NiceOfThreadPriority(priority)) == 0;
}

int32_t CurrentThreadPriority() {
    return ThreadPriorityOfNice(NiceOfTask(ThreadId()));
}

// The process nice value is the one the main thread and new threads start from.
bool SetProcessClass(uint32_t priorityClass) {
    return setpriority(PRIO_PROCESS, 0, NiceOfPriorityClass(priorityClass)) == 0;
}

uint32_t ProcessClass() {
    return PriorityClassOfNice(NiceOfTask(static_cast<id_t>(getpid())));
}

} // namespace platform
