// What the frame asks of Windows besides the debug output: the millisecond
// tick and the id of the calling thread.
#include "frame/Tick.h"
#include "frame/Trace.h"

#include <windows.h>

// The system's tick count; it wraps after 49.7 days, which the deadline
// arithmetic allows for.
uint32_t TickNow() {
    return GetTickCount();
}

uint32_t CurrentThreadId() {
    return GetCurrentThreadId();
}
