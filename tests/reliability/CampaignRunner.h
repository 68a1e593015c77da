// Runs the sessions of a plan side by side, one slot (COM port and link)
// per worker thread, and prints a line per finished session.
#pragma once

#include "CampaignImages.h"
#include "CampaignSession.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace campaign {

using ImageKey = std::pair<Family, uint32_t>; // family and seed

// The images of every family and seed of the plan, their HEX files in dir.
std::map<ImageKey, Image> MakeImages(const std::vector<PlannedSession>& plan,
                                     const std::string& dir);

// One line: session id, family, faults, seed, outcome and duration.
std::string Describe(const SessionResult& result);

// Prints the session's line and its broken promises and false successes if it
// has any; returns whether it had.
bool PrintFailure(const SessionResult& result);

class CampaignRunner {
  public:
    // Maps the slots' COM ports to links in the working directory.
    CampaignRunner(std::vector<PlannedSession> plan, std::map<ImageKey, Image> images,
                   unsigned jobs, SessionTweaks tweaks);

    // Runs every session; session ids are the plan's positions from 1.
    std::vector<SessionResult> Run();

  private:
    void Work(const Slot& slot);

    std::vector<PlannedSession> plan_;
    std::map<ImageKey, Image> images_;
    std::vector<SessionResult> results_;
    std::vector<Slot> slots_;
    SessionTweaks tweaks_;
    std::atomic<size_t> next_{0};
    std::mutex print_;
    size_t done_ = 0;
};

} // namespace campaign
