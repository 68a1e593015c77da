// The longest a programming session may take if every wait of the protocol
// runs to its deadline and every mail uses up its retransmissions.
#pragma once

#include "CampaignPlan.h"

#include <chrono>
#include <cstdint>

namespace campaign {

// What a session may spend its time on; each item at its worst.
struct SessionBudget {
    uint32_t monitorStartMs = 0;  // the monitor start, its own mails included
    uint32_t mails = 0;           // ordinary confirmed mails after it
    uint32_t controllerWaits = 0; // flash-controller polls (5 s each)
    uint32_t eraseWaits = 0;      // 8-bit flash erase polls (6 s each)
    uint32_t chipErases = 0;      // EXT_CHIP_EREASE_REQ
    uint32_t crcs = 0;            // CALC_CRC32_REQ
    uint32_t delaysMs = 0;        // fixed waits of the programmer
};

SessionBudget BudgetOf(const FamilyInfo& family, uint32_t imageSize);
std::chrono::milliseconds WorstCase(const SessionBudget& budget);
// The worst case with room for a loaded machine.
std::chrono::milliseconds SessionBound(const FamilyInfo& family, uint32_t imageSize);

} // namespace campaign
