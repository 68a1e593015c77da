// Runs one programming session of the campaign: a board with the session's
// faults on a slot of its own, FlashLoader through the library's C API,
// and the checks of what the host and the board saw.
#pragma once

#include "CampaignImages.h"
#include "CampaignPlan.h"
#include "SessionRecorder.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <vtarget/Board.h>

namespace campaign {

// A COM port number and the link its boards are reached through. Slots run
// sessions side by side; each runs one at a time.
struct Slot {
    unsigned comPort = 0;
    std::string linkPath;
};

// Points ULVEX_COM<port> at the slot's link. Call before any session runs:
// the library reads the environment from its session threads.
void MapSlot(const Slot& slot);

struct SessionResult {
    PlannedSession planned{};
    uint16_t sessionid = 0;
    std::string outcome;
    std::vector<std::string> falseSuccesses;
    std::vector<std::string> brokenPromises;
    std::chrono::milliseconds duration{0};
    std::chrono::milliseconds bound{0};
};

// Changes to a session: to its board's options before it starts, to the
// board once it runs, and, for tests of the checks themselves, to the time
// it is given.
struct SessionTweaks {
    std::function<void(vtarget::BoardOptions&)> options;
    std::function<void(vtarget::Board&)> started;
    std::optional<std::chrono::milliseconds> bound;
};

SessionResult RunSession(const PlannedSession& planned, uint16_t sessionid, const Image& image,
                         const Slot& slot, const SessionTweaks& tweaks = {});

// Adds the broken promises that only the whole indication stream shows;
// call once no session runs any more.
void CheckIndicationStream(SessionResult& result);

} // namespace campaign
