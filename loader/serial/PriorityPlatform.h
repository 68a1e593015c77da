// What the priority module needs from the operating system: the calling
// thread's priority and the process's priority class, both in the priority
// values of Priority.h. PriorityPosix and PriorityWin32 implement it.
#pragma once

#include <cstdint>

namespace platform {
bool SetCurrentThreadPriority(int32_t priority);
// The calling thread's priority as the platform reports it.
int32_t CurrentThreadPriority();
bool SetProcessClass(uint32_t priorityClass);
uint32_t ProcessClass();
} // namespace platform
