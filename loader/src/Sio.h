// Serial port driver of the calling thread, and the millisecond tick, delay
// and deadline helpers that the driver and the protocol layers use.
#pragma once

#include <cstdint>

// Forgets the thread's port (without closing it): a new session or test
// mode starts with no port open.
void ResetSerialState();

// Milliseconds of a monotonic clock. Differences are taken unsigned, so the
// 32-bit wrap-around is harmless.
uint32_t TickNow();
uint32_t TickDeadline(uint32_t ms);
bool TickReached(uint32_t deadline);
void DelayMs(uint32_t ms);
