// Prints every indication the library sends, and keeps the running flag of
// each session that Vorn waits on.
#pragma once

#include <cstdint>

#include "ulvex.h"

// The callback Vorn registers. Runs on the session's worker thread while a
// programming session runs, on the main thread in test mode.
void ULVEX_CALL DisplayIndication(IndicationRecord* record);

// Running flag of a session: set before it starts, cleared by the display on
// its STOP_PROGRAM_IND. Safe to read from another thread.
void SetSessionRunning(uint16_t sessionId, bool running);
bool SessionRunning(uint16_t sessionId);
