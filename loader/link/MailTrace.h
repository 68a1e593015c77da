// The mail trace: one decoded line per request sent and per response
// received, written when trace bit 2 is set.
#pragma once

#include <cstdint>
#include <string>

// The trace line of a raw frame (start byte first). Bytes beyond size read
// as absent; a frame too short to carry a primitive gives an empty line.
std::string MailTraceLine(const uint8_t* frame, uint32_t size);

bool MailTraceOn();
// Writes MailTraceLine() when trace bit 2 is set.
void TraceMailFrame(const uint8_t* frame, uint32_t size);
