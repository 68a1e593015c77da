// The lines of ulvex's JSON Lines that every command ends with: one result
// per board and the summary (docs/ulvex-events.schema.json), and the
// printing of a line.
#pragma once

#include "Outcome.h"

#include <nlohmann/json.hpp>
#include <string>

namespace ulvex {

// {"event":"result","port":…,"ok":…,"result":…,"crc_file":…,
// "crc_target":…,"ms":…,"detail":…}; the CRCs null unless haveCrc, the
// target's also null when it is not known (crcTargetKnown false).
nlohmann::json ResultEvent(const std::string& port, const Outcome& outcome,
                           bool crcTargetKnown = true);

// {"event":"summary","port":null,"boards":…,"ok":…,"failed":…}.
nlohmann::json SummaryEvent(int boards, int ok);

// One line on standard output, flushed; text that is not UTF-8 replaced.
void PrintJson(const nlohmann::json& event);

} // namespace ulvex
