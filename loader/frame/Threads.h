// Starting a session's worker: a detached thread with one argument, by the
// platform's own means (SystemPosix.cpp, SystemWin32.cpp).
#pragma once

using ThreadEntry = void (*)(void* argument);

// False when the platform refuses the thread; the entry then never runs.
bool StartDetachedThread(ThreadEntry entry, void* argument);
