// The last failed port open of every session and test mode, by session id,
// kept in the process after the thread that had it ended, so that a host
// can ask why its session's port did not open.
#pragma once

#include "frame/ThreadContext.h"

#include <cstdint>

void PublishOpenFailure(uint16_t sessionId, const OpenFailure& failure);
// False when the session has none.
bool FindOpenFailure(uint16_t sessionId, OpenFailure& failure);
// A session or test mode starts without one.
void ForgetOpenFailure(uint16_t sessionId);
