#include "CampaignPlan.h"

#include <random>
#include <stdexcept>

namespace campaign {

const std::vector<FamilyInfo>& Families() {
    // Every image has a second piece after a blank gap, and an odd size.
    // The S3C44B0X's lies above the board's own window, which the
    // programmer leaves alone, so that it is written and verified.
    static const std::vector<FamilyInfo> families = {
        {Family::KoltInternal, "KOLT internal (0)", 0, 0x080000, 0x2000, Verification::WholeImage},
        {Family::KoltExternal, "KOLT external (1)", 1, 0x080000, 0x2000, Verification::WholeImage},
        {Family::Kolt2x8, "KOLT 2x8 (2)", 2, 0x080000, 0x2000, Verification::WholeImage},
        {Family::KoltTouched, "KOLT touched (13)", 13, 0x080000, 0x2000,
         Verification::SectorWindows},
        {Family::Merv, "MERV (3)", 3, 0x000000, 0x2000, Verification::WholeImageOdd},
        {Family::Atmega, "ATmega (10)", 10, 0x000000, 0x2000, Verification::WholeImage},
        {Family::Ml675001, "ML675001 (14)", 14, 0xC8000000, 0x2000, Verification::WholeImage},
        {Family::S3c44b0x, "S3C44B0X (18)", 18, 0x000000, 0x20000, Verification::AboveTheWindow},
    };
    return families;
}

const FamilyInfo& InfoOf(Family family) {
    for (const FamilyInfo& info : Families()) {
        if (info.family == family) {
            return info;
        }
    }
    throw std::logic_error("family without an entry");
}

const std::vector<FaultCondition>& FaultConditions() {
    // Line rates are per byte, in either direction; a KOLT session moves
    // some 20 KB, so 1e-4 costs a retransmission now and then and 1e-2
    // leaves hardly a download standing. Silences fall in the monitor
    // start and identification, among the erase and first blocks, or late.
    static const std::vector<FaultCondition> conditions = {
        {.label = "none"},
        {.kind = FaultKind::Drop, .rate = 1e-4, .label = "drop 1e-4"},
        {.kind = FaultKind::Drop, .rate = 1e-3, .label = "drop 1e-3"},
        {.kind = FaultKind::Drop, .rate = 1e-2, .label = "drop 1e-2"},
        {.kind = FaultKind::Corrupt, .rate = 1e-4, .label = "corrupt 1e-4"},
        {.kind = FaultKind::Corrupt, .rate = 1e-3, .label = "corrupt 1e-3"},
        {.kind = FaultKind::Corrupt, .rate = 1e-2, .label = "corrupt 1e-2"},
        {.kind = FaultKind::Silent, .silentFirst = 0, .silentLast = 7, .label = "silent after 0-7"},
        {.kind = FaultKind::Silent,
         .silentFirst = 8,
         .silentLast = 39,
         .label = "silent after 8-39"},
        {.kind = FaultKind::Silent,
         .silentFirst = 40,
         .silentLast = 119,
         .label = "silent after 40-119"},
        {.kind = FaultKind::Nak, .rate = 0.01, .label = "nak 1%"},
        {.kind = FaultKind::Nak, .rate = 0.1, .label = "nak 10%"},
        {.kind = FaultKind::Nak, .nakEvery = 25, .label = "nak every 25th"},
        {.kind = FaultKind::WrongPrimitive, .rate = 0.02, .label = "wrong primitive 2%"},
        // The single-wire bus: the PC must tell its own echo from the answers,
        // also when an echo is lost or garbled.
        {.singleWire = true, .label = "single wire"},
        {.kind = FaultKind::Drop,
         .rate = 1e-4,
         .singleWire = true,
         .label = "single wire, drop 1e-4"},
        {.kind = FaultKind::Corrupt,
         .rate = 1e-4,
         .singleWire = true,
         .label = "single wire, corrupt 1e-4"},
    };
    return conditions;
}

vtarget::FaultOptions FaultsFor(const PlannedSession& planned) {
    const FaultCondition& c = FaultConditions().at(planned.condition);
    vtarget::FaultOptions faults;
    faults.seed = planned.seed * 1000003ull + static_cast<uint64_t>(planned.family) * 7919ull +
                  planned.condition;
    switch (c.kind) {
    case FaultKind::None:
        break;
    case FaultKind::Drop:
        faults.dropRate = c.rate;
        break;
    case FaultKind::Corrupt:
        faults.corruptRate = c.rate;
        break;
    case FaultKind::Silent: {
        std::mt19937 pick(static_cast<uint32_t>(faults.seed));
        faults.silentAfter =
            std::uniform_int_distribution<int64_t>(c.silentFirst, c.silentLast)(pick);
        break;
    }
    case FaultKind::Nak:
        faults.nakRate = c.rate;
        faults.nakEvery = c.nakEvery;
        break;
    case FaultKind::WrongPrimitive:
        faults.wrongPrimitiveRate = c.rate;
        break;
    }
    return faults;
}

std::vector<PlannedSession> FullPlan(uint32_t seeds) {
    std::vector<PlannedSession> plan;
    for (uint32_t seed = 1; seed <= seeds; ++seed) {
        for (const FamilyInfo& info : Families()) {
            for (size_t c = 0; c < FaultConditions().size(); ++c) {
                plan.push_back({info.family, c, seed});
            }
        }
    }
    return plan;
}

std::vector<PlannedSession> QuickPlan() {
    std::vector<PlannedSession> plan;
    const size_t faulted = FaultConditions().size() - 1;
    size_t next = 0;
    for (const FamilyInfo& info : Families()) {
        const auto seed = static_cast<uint32_t>(info.targetType) + 1;
        plan.push_back({info.family, 0, seed});
        for (int i = 0; i < 2; ++i) {
            plan.push_back({info.family, 1 + next++ % faulted, seed});
        }
    }
    return plan;
}

} // namespace campaign
