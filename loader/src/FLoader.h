// Library-wide state shared by all threads, and the session hand-over.
#pragma once

#include "ThreadContext.h"
#include "ulvex.h"

#include <atomic>
#include <cstdint>

// Set by the host before sessions start; read at every indication or start.
extern std::atomic<IndicationCallback> HostCallback;
extern std::atomic<uint32_t> DebugMask;
// Bounds the boot-loader search of the targets that search for their port.
extern std::atomic<uint16_t> BootLoaderTimeoutMs;
// Held from the hand-over in FlashLoader until the worker has copied its
// parameters; serialises only the hand-over, not the sessions.
extern std::atomic<uint32_t> SessionBusy;

constexpr uint16_t kDefaultBootLoaderTimeoutMs = 15000;

// Runs one session on the calling thread; hostBlock is FlashLoader's
// parameter block, which is released (SessionBusy) once copied.
void SessionWorker(const SessionParams* hostBlock);
