#include "CampaignTable.h"

#include <cstdio>
#include <map>

namespace campaign {

namespace {

struct Tally {
    size_t sessions = 0;
    size_t ok = 0;
    size_t falseSuccesses = 0;
    size_t brokenPromises = 0;
    std::map<std::string, size_t> failures;
    std::chrono::milliseconds longest{0};
    std::chrono::milliseconds bound{0}; // of the longest session

    void Add(const SessionResult& r) {
        ++sessions;
        if (r.outcome == "ok") {
            ++ok;
        } else {
            ++failures[r.outcome];
        }
        falseSuccesses += r.falseSuccesses.empty() ? 0 : 1;
        brokenPromises += r.brokenPromises.empty() ? 0 : 1;
        if (r.duration >= longest) {
            longest = r.duration;
            bound = r.bound;
        }
    }
};

std::string Seconds(std::chrono::milliseconds ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(ms.count()) / 1000);
    return text;
}

std::string Failures(const Tally& t) {
    std::string text;
    for (const auto& [outcome, count] : t.failures) {
        text += (text.empty() ? "" : ", ") + outcome + ": " + std::to_string(count);
    }
    return text.empty() ? "-" : text;
}

std::string Row(const std::string& family, const std::string& faults, const Tally& t) {
    return "| " + family + " | " + faults + " | " + std::to_string(t.sessions) + " | " +
           std::to_string(t.ok) + " | " + Failures(t) + " | " + std::to_string(t.falseSuccesses) +
           " | " + std::to_string(t.brokenPromises) + " | " + Seconds(t.longest) + " / " +
           Seconds(t.bound) + " |\n";
}

const std::string kHeader =
    "| Family (type) | Faults | Sessions | OK | Failures reported | False successes | "
    "Broken promises | Longest / bound (s) |\n"
    "|---|---|---|---|---|---|---|---|\n";

} // namespace

std::string ConditionTable(const std::vector<SessionResult>& results) {
    std::string table = kHeader;
    for (const FamilyInfo& family : Families()) {
        for (size_t c = 0; c < FaultConditions().size(); ++c) {
            Tally tally;
            for (const SessionResult& r : results) {
                if (r.planned.family == family.family && r.planned.condition == c) {
                    tally.Add(r);
                }
            }
            if (tally.sessions > 0) {
                table += Row(family.name, FaultConditions()[c].label, tally);
            }
        }
    }
    return table;
}

std::string FamilyTable(const std::vector<SessionResult>& results) {
    std::string table = kHeader;
    Tally all;
    for (const FamilyInfo& family : Families()) {
        Tally tally;
        for (const SessionResult& r : results) {
            if (r.planned.family == family.family) {
                tally.Add(r);
                all.Add(r);
            }
        }
        if (tally.sessions > 0) {
            table += Row(family.name, "all", tally);
        }
    }
    return table + Row("**all**", "all", all);
}

} // namespace campaign
