// The session and test-mode logs: their start and their headers.
#pragma once

#include "frame/ThreadContext.h"

#include <cstdint>

// Starts the thread's trace clock and, when the library's debug mask is
// non-zero, opens "<prefix><session id>.log" and takes over the mask.
void StartThreadLog(const char* prefix);

void WriteSessionLogHeader(const SessionParams& session);
void WriteTestModeLogHeader(uint32_t targettype, uint16_t sessionid);
