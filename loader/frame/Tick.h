// Milliseconds of a monotonic clock and the protocol's deliberate waits.
// TickNow is the platform's tick (SystemPosix.cpp, SystemWin32.cpp); the
// deadline arithmetic on top of it is the same everywhere.
#pragma once

#include <cstdint>

// Milliseconds of a monotonic clock. Differences are taken unsigned, so the
// 32-bit wrap-around is harmless.
uint32_t TickNow();
uint32_t TickDeadline(uint32_t ms);
bool TickReached(uint32_t deadline);
// Milliseconds from now until the deadline; 0 once it is reached.
uint32_t TickRemaining(uint32_t deadline);
// The protocol's deliberate waits (settling, pacing, the monitor start).
void DelayMs(uint32_t ms);
// Called after every DelayMs with the wait's start and end in milliseconds
// of the steady clock, so that a benchmark can tell the waits the protocol
// asks for from time the host spends on its own. Null (the default): none.
using DelayObserver = void (*)(double startMs, double endMs);
void SetDelayObserver(DelayObserver observer);
