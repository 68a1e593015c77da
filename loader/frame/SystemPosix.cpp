// What the frame asks of Linux besides the debug output: the millisecond
// tick, the kernel's id of the calling thread and a worker thread.
#include "frame/Threads.h"
#include "frame/Tick.h"
#include "frame/Trace.h"

#include <chrono>
#include <sys/syscall.h>
#include <system_error>
#include <thread>
#include <unistd.h>

// The monotonic clock in milliseconds; the 32-bit value wraps after 49.7
// days, which the deadline arithmetic allows for.
uint32_t TickNow() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// The id that ps and the system log show for the thread, not pthread_self().
uint32_t CurrentThreadId() {
    return static_cast<uint32_t>(syscall(SYS_gettid));
}

bool StartDetachedThread(ThreadEntry entry, void* argument) {
    try {
        std::thread(entry, argument).detach();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}
