// Indications as ulvex's JSON Lines carry them: each code's name and its
// parameters by name (docs/ulvex-events.schema.json).
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <ulvex.h>

namespace ulvex {

// The indication's name, e.g. "PROGRAM_PROGRESS_IND"; "UNKNOWN_IND" for a
// code the library does not define.
const char* IndicationName(uint16_t code);

// {"event":"indication","port":…,"session":…,"name":…,"code":…,"t_ms":…,
// and the parameters by name}.
nlohmann::json IndicationEvent(const std::string& port, const IndicationRecord& record,
                               uint64_t elapsedMs);

} // namespace ulvex
