#include "CampaignRunner.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace campaign {

namespace {

constexpr unsigned kFirstComPort = 200;
constexpr size_t kMostSessions = 65535; // session ids are 16-bit

} // namespace

std::map<ImageKey, Image> MakeImages(const std::vector<PlannedSession>& plan,
                                     const std::string& dir) {
    std::map<ImageKey, Image> images;
    for (const PlannedSession& s : plan) {
        const ImageKey key{s.family, s.seed};
        if (images.find(key) == images.end()) {
            images.emplace(key, MakeImage(InfoOf(s.family), s.seed, dir));
        }
    }
    return images;
}

std::string Describe(const SessionResult& r) {
    char line[256];
    std::snprintf(line, sizeof line, "session %u: %s | %s | seed %u: %s, %.1f s", r.sessionid,
                  InfoOf(r.planned.family).name,
                  FaultConditions()[r.planned.condition].label.c_str(), r.planned.seed,
                  r.outcome.c_str(), static_cast<double>(r.duration.count()) / 1000);
    return line;
}

bool PrintFailure(const SessionResult& r) {
    if (r.brokenPromises.empty() && r.falseSuccesses.empty()) {
        return false;
    }
    std::printf("FAILED %s\n", Describe(r).c_str());
    for (const std::string& p : r.brokenPromises) {
        std::printf("  broken promise: %s\n", p.c_str());
    }
    for (const std::string& f : r.falseSuccesses) {
        std::printf("  false success: %s\n", f.c_str());
    }
    return true;
}

CampaignRunner::CampaignRunner(std::vector<PlannedSession> plan, std::map<ImageKey, Image> images,
                               unsigned jobs, SessionTweaks tweaks)
    : plan_(std::move(plan)), images_(std::move(images)), results_(plan_.size()),
      tweaks_(std::move(tweaks)) {
    if (plan_.size() > kMostSessions) {
        throw std::invalid_argument("more sessions than session ids");
    }
    for (unsigned j = 0; j < jobs; ++j) {
        slots_.push_back(
            {kFirstComPort + j, std::filesystem::absolute("port" + std::to_string(j))});
        MapSlot(slots_.back());
    }
}

std::vector<SessionResult> CampaignRunner::Run() {
    std::vector<std::thread> workers;
    for (const Slot& slot : slots_) {
        workers.emplace_back([this, slot] { Work(slot); });
    }
    for (std::thread& w : workers) {
        w.join();
    }
    // Anything a session sends after its stop shows by now.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (SessionResult& r : results_) {
        CheckIndicationStream(r);
    }
    return results_;
}

void CampaignRunner::Work(const Slot& slot) {
    for (size_t i = next_++; i < plan_.size(); i = next_++) {
        const PlannedSession& planned = plan_[i];
        const auto id = static_cast<uint16_t>(i + 1);
        results_[i] =
            RunSession(planned, id, images_.at({planned.family, planned.seed}), slot, tweaks_);
        std::lock_guard lock(print_);
        std::printf("[%zu/%zu] %s\n", ++done_, plan_.size(), Describe(results_[i]).c_str());
        std::fflush(stdout);
    }
}

} // namespace campaign
