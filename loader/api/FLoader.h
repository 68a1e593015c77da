// The session hand-over from FlashLoader to its worker. The settings the
// host makes for all threads are in frame/LibrarySettings.h.
#pragma once

#include "frame/LibrarySettings.h"
#include "frame/ThreadContext.h"
#include "ulvex.h"

#include <atomic>
#include <cstdint>

// Held from the hand-over in FlashLoader until the worker has copied its
// parameters; serialises only the hand-over, not the sessions.
extern std::atomic<uint32_t> SessionBusy;

// Runs one session on the calling thread; hostBlock is FlashLoader's
// parameter block, which is released (SessionBusy) once copied.
void SessionWorker(const SessionParams* hostBlock);
