// The log line that records one indication in the session log.
#pragma once

#include "ulvex.h"

#include <cstdint>
#include <string>

// "\n[<session>][<ms>]MAIL-><name text><parameter texts>\n".
std::string IndicationLogLine(const IndicationRecord& record, uint32_t elapsedMs);
