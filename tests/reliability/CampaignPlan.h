// What the fault campaign runs: the board families it programs, the line
// and monitor faults it injects, and the list of sessions of a run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <vtarget/Board.h>

namespace campaign {

enum class Family {
    KoltInternal,
    KoltExternal,
    Kolt2x8,
    KoltTouched,
    Merv,
    Atmega,
    Ml675001,
    S3c44b0x
};

// How a family's CRC_OK_IND vouches for the memory.
enum class Verification {
    WholeImage,     // one CRC over the image, its size rounded up to even
    WholeImageOdd,  // one CRC over exactly the image's bytes (byte-counting monitor)
    SectorWindows,  // one CRC per completed 4 KiB window of the image
    AboveTheWindow, // the image from its byte 0x20000 on (the board keeps 0x10000..0x1FFFF)
};

struct FamilyInfo {
    Family family;
    const char* name;
    int targetType;
    uint32_t imageBase;
    uint32_t secondPieceOffset; // where the image's second piece starts, from the base
    Verification verification;
};

const std::vector<FamilyInfo>& Families();
const FamilyInfo& InfoOf(Family family);

enum class FaultKind { None, Drop, Corrupt, Silent, Nak, WrongPrimitive };

struct FaultCondition {
    FaultKind kind = FaultKind::None;
    double rate = 0;         // drop, corrupt, nak and wrong-primitive rates
    int64_t nakEvery = 0;    // every Nth confirm refused
    int64_t silentFirst = 0; // silences: the board answers a number of mails
    int64_t silentLast = 0;  // drawn from silentFirst..silentLast by the seed
    bool singleWire = false; // bus mode 1: every byte sent comes back as echo
    std::string label;
};

const std::vector<FaultCondition>& FaultConditions();

// One session of the campaign.
struct PlannedSession {
    Family family;
    size_t condition; // index into FaultConditions()
    uint32_t seed;    // picks the image, the fault stream and the silence
};

// The board's faults for a session.
vtarget::FaultOptions FaultsFor(const PlannedSession& planned);

// Every family under every condition with seeds 1..seeds.
std::vector<PlannedSession> FullPlan(uint32_t seeds);
// One fault-free session per family and two faulted ones, the conditions
// taken in turn so that every kind of fault is met.
std::vector<PlannedSession> QuickPlan();

} // namespace campaign
