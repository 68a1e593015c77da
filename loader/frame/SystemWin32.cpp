// What the frame asks of Windows besides the debug output: the millisecond
// tick, the id of the calling thread and a worker thread.
#include "frame/Threads.h"
#include "frame/Tick.h"
#include "frame/Trace.h"

#include <new>
#include <process.h>
#include <windows.h>

namespace {

struct ThreadStart {
    ThreadEntry entry;
    void* argument;
};

unsigned __stdcall RunThread(void* start) {
    const ThreadStart s = *static_cast<ThreadStart*>(start);
    delete static_cast<ThreadStart*>(start);
    s.entry(s.argument);
    return 0;
}

} // namespace

// The system's tick count; it wraps after 49.7 days, which the deadline
// arithmetic allows for.
uint32_t TickNow() {
    return GetTickCount();
}

uint32_t CurrentThreadId() {
    return GetCurrentThreadId();
}

// The C runtime's own thread start, not std::thread: MinGW's pthreads lose
// now and then a thread that is detached at once (seen under wine: about
// one in a few hundred never runs), and FlashLoader would wait for ever
// for its hand-over.
bool StartDetachedThread(ThreadEntry entry, void* argument) {
    auto* start = new (std::nothrow) ThreadStart{entry, argument};
    if (start == nullptr) {
        return false;
    }
    const uintptr_t handle = _beginthreadex(nullptr, 0, RunThread, start, 0, nullptr);
    if (handle == 0) {
        delete start;
        return false;
    }
    CloseHandle(reinterpret_cast<HANDLE>(handle));
    return true;
}
