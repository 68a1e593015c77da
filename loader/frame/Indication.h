// Senders of host indications. Each builds a record with the calling
// thread's session id, hands it to the host callback on this thread and, when
// bit 3 of the debug mask is set, writes the indication's log line.
#pragma once

#include "ulvex.h"

#include <cstdint>

void SendIndication(uint16_t code);
void SendIndicationWord(uint16_t code, uint16_t value);
void SendIndicationTwoWords(uint16_t code, uint16_t first, uint16_t second);
void SendIndicationLong(uint16_t code, uint32_t value);
void SendIndicationTwoLongs(uint16_t code, uint32_t first, uint32_t second);

// TEXT_INFO_IND with a printf-style text; cut to 511 characters.
void SendTextInfo(const char* format, ...) __attribute__((format(printf, 1, 2)));
