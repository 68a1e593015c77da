#include "CampaignSession.h"

#include "PortDescriptors.h"
#include "SessionBound.h"
#include "SessionVerdict.h"
#include "ulvex.h"

#include <cstdlib>

namespace campaign {

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kSingleWire = 1;
constexpr uint32_t kWorkRate = 921600;
// A session that overran its bound is ended by taking its board away; its
// read then fails at once, so this is plenty.
constexpr auto kAfterBoardGone = std::chrono::seconds(30);

using Clock = std::chrono::steady_clock;

vtarget::BoardOptions BoardFor(const PlannedSession& planned, const Slot& slot,
                               const SessionTweaks& tweaks) {
    vtarget::BoardOptions options;
    options.targetType = InfoOf(planned.family).targetType;
    options.linkPath = slot.linkPath;
    options.faults = FaultsFor(planned);
    options.echo = FaultConditions().at(planned.condition).singleWire;
    if (tweaks.options) {
        tweaks.options(options);
    }
    return options;
}

// Ends a session that overran its bound by taking its board away. Returns
// when STOP_PROGRAM_IND came, if it did.
std::optional<Clock::time_point> EndOverrun(SessionResult& result, vtarget::Board& board) {
    result.brokenPromises.push_back("no STOP_PROGRAM_IND within " +
                                    std::to_string(result.bound.count()) + " ms");
    board.Stop();
    auto stop =
        SessionRecorder::Instance().WaitForStop(result.sessionid, Clock::now() + kAfterBoardGone);
    if (!stop) {
        result.brokenPromises.push_back("no STOP_PROGRAM_IND after the board was taken away");
    }
    return stop;
}

void Judge(SessionResult& result, const Image& image, const vtarget::Board& board) {
    const FamilyInfo& family = InfoOf(result.planned.family);
    const auto indications = SessionRecorder::Instance().Of(result.sessionid);
    result.outcome = OutcomeOf(family, indications);
    result.falseSuccesses =
        FalseSuccesses(family, image, indications, [&board](uint32_t address, uint32_t count) {
            return board.ReadMemory(address, count);
        });
}

} // namespace

void MapSlot(const Slot& slot) {
    const std::string name = "ULVEX_COM" + std::to_string(slot.comPort);
    setenv(name.c_str(), slot.linkPath.c_str(), 1);
}

SessionResult RunSession(const PlannedSession& planned, uint16_t sessionid, const Image& image,
                         const Slot& slot, const SessionTweaks& tweaks) {
    SessionResult result;
    result.planned = planned;
    result.sessionid = sessionid;
    const FamilyInfo& family = InfoOf(planned.family);
    result.bound =
        tweaks.bound.value_or(SessionBound(family, static_cast<uint32_t>(image.bytes.size())));

    vtarget::Board board(BoardFor(planned, slot, tweaks));
    std::string error;
    if (!board.Start(error)) {
        result.outcome = "board failed";
        result.brokenPromises.push_back("the board did not start: " + error);
        return result;
    }
    // The board keeps descriptors of its own on the terminal; the library
    // must leave no more than those once it reports the end.
    const std::string terminal = board.SlavePath();
    const size_t boardsOwn = DescriptorsOn(terminal);
    if (tweaks.started) {
        tweaks.started(board);
    }

    SessionRecorder::Instance().Expect(sessionid);
    const bool singleWire = FaultConditions().at(planned.condition).singleWire;
    const uint32_t busmode = singleWire ? kSingleWire : kDuplex;
    const auto start = Clock::now();
    const uint32_t started =
        FlashLoader(slot.comPort, busmode, kWorkRate, static_cast<uint32_t>(family.targetType),
                    image.hexPath.c_str(), sessionid);
    if (started != FLASHLOADER_STARTED) {
        result.outcome = "not started";
        result.brokenPromises.push_back("FlashLoader returned " + std::to_string(started));
        return result;
    }
    auto stop = SessionRecorder::Instance().WaitForStop(sessionid, start + result.bound);
    if (stop && DescriptorsOn(terminal) != boardsOwn) {
        result.brokenPromises.push_back("the port is still open after STOP_PROGRAM_IND");
    }
    if (!stop) {
        stop = EndOverrun(result, board);
    }
    result.duration =
        std::chrono::duration_cast<std::chrono::milliseconds>(stop.value_or(Clock::now()) - start);
    board.Stop();
    Judge(result, image, board);
    return result;
}

void CheckIndicationStream(SessionResult& result) {
    if (result.outcome == "board failed" || result.outcome == "not started") {
        return;
    }
    const std::string problem = StopProblem(SessionRecorder::Instance().Of(result.sessionid));
    if (!problem.empty()) {
        result.brokenPromises.push_back(problem);
    }
}

} // namespace campaign
