// Scheduling priority of the calling thread for the time-critical moments
// of a transfer, the process priority class, and a console dump of both.
#pragma once

#include <cstdint>

// Thread priority values, as the link layer and the dump name them.
enum ThreadPriorityValue : int32_t {
    THREAD_PRIORITY_IDLE = -15,
    THREAD_PRIORITY_LOWEST = -2,
    THREAD_PRIORITY_BELOW_NORMAL = -1,
    THREAD_PRIORITY_NORMAL = 0,
    THREAD_PRIORITY_ABOVE_NORMAL = 1,
    THREAD_PRIORITY_HIGHEST = 2,
    THREAD_PRIORITY_TIME_CRITICAL = 15,
};

// Process priority classes.
enum PriorityClassValue : uint32_t {
    IDLE_PRIORITY_CLASS = 64,
    NORMAL_PRIORITY_CLASS = 32,
    HIGH_PRIORITY_CLASS = 128,
    REALTIME_PRIORITY_CLASS = 256,
};

// Records p as the requested priority, then asks the platform; a refusal
// is traced, the request stays recorded.
void SetHighPriority(int32_t priority);
void RestoreNormalPriority();
// Whether the requested priority is normal; the platform is not asked.
bool IsNormalPriority();
bool SetProcessPriorityClass(uint32_t priorityClass);
uint32_t GetProcessPriorityClass();
void ShowPriorities();

#ifndef _WIN32
// The nice values that stand for the priority values on Linux, and back.
int NiceOfThreadPriority(int32_t priority);
int32_t ThreadPriorityOfNice(int nice);
int NiceOfPriorityClass(uint32_t priorityClass);
uint32_t PriorityClassOfNice(int nice);
#endif
