// Judges one finished session: how it ended as the host saw it, and
// whether it kept the library's promises.
#pragma once

#include "CampaignImages.h"
#include "SessionRecorder.h"

#include <functional>
#include <string>
#include <vector>

namespace campaign {

// How the session ended: "ok", "CRC error", "mail error N", "download
// failed", "search timeout", "port failed", "hex error" or "no monitor".
std::string OutcomeOf(const FamilyInfo& family, const std::vector<Indication>& indications);

// STOP_PROGRAM_IND came exactly once, as the last indication, after a
// START_PROGRAM_IND that came first; empty if so, else what was wrong.
std::string StopProblem(const std::vector<Indication>& indications);

// Reads count bytes of the board's memory at an address.
using MemoryReader = std::function<std::vector<uint8_t>(uint32_t address, uint32_t count)>;

// Every CRC_OK_IND must stand for a range of the image that the memory
// holds, and a session that reports success must hold the whole image.
// Returns one line per claim the memory does not bear out.
std::vector<std::string> FalseSuccesses(const FamilyInfo& family, const Image& image,
                                        const std::vector<Indication>& indications,
                                        const MemoryReader& memory);

} // namespace campaign
