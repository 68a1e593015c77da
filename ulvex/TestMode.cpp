#include "TestMode.h"

#include "Arguments.h"
#include "BusMode.h"
#include "FlashCommand.h"
#include "IndicationEvents.h"
#include "Interrupt.h"
#include "PortMapping.h"
#include "Preflight.h"
#include "ResultEvents.h"
#include "cli/TestModeTargets.h"
#include "image/ImageFile.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fmt/format.h>
#include <mutex>
#include <ulvex.h>

namespace ulvex {

namespace {

using Clock = std::chrono::steady_clock;

const Clock::time_point runStart = Clock::now();

// The board whose test mode is on, for the callback, which has no context
// argument: one test mode at a time, on this thread.
struct Watch {
    std::string port;
    bool json = false;
    uint16_t firstFailure = 0; // the first indication that a start failed
};
Watch current;
Watch* watch = nullptr;

void ULVEX_CALL OnIndication(IndicationRecord* record) {
    if (watch == nullptr) {
        return;
    }
    if (watch->json) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - runStart);
        PrintJson(IndicationEvent(watch->port, *record, static_cast<uint64_t>(ms.count())));
    }
    const uint16_t code = record->code;
    const bool failure = code == COM_PORT_ACCESS_FAIL_IND || code == DOWNLOAD_FAILED_IND ||
                         code == LOADER_ID_UNKNOWN_IND;
    if (failure && watch->firstFailure == 0) {
        watch->firstFailure = code;
    }
}

} // namespace

int UsageError(const std::string& message) {
    std::fprintf(stderr, "ulvex: %s\n", message.c_str());
    return kUsage;
}

int PrepareBoards(const LinkOptions& options, const TargetType*& target,
                  std::vector<TestModeBoard>& boards) {
    const TargetLookup lookup = FindTarget(options.target);
    if (lookup.type == nullptr) {
        return UsageError(lookup.error);
    }
    target = lookup.type;
    std::vector<PortArgument> ports;
    for (const std::string& text : options.ports) {
        ports.push_back(ParsePort(text));
        if (!ports.back().error.empty()) {
            return UsageError(text + ": " + ports.back().error);
        }
    }
    bool checked = true;
    for (const PortArgument& port : ports) {
        if (const std::string failure = CheckPort(port); !failure.empty()) {
            std::fprintf(stderr, "ulvex: %s\n", failure.c_str());
            checked = false;
        }
    }
    if (!checked) {
        return kPortCheck;
    }
    const auto comports = MapPorts(ports);
    if (!comports) {
        return UsageError("too many ports for the library's COM numbers");
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        boards.push_back({options.ports[i], (*comports)[i], static_cast<uint16_t>(i + 1)});
    }
    SetupCallbackFunction(OnIndication);
    return 0;
}

// Ctrl-C: the board in test mode is named and the run ends with 130; the
// port closes with the process, the monitor keeps running on the board.
namespace {

std::mutex interruptedMutex;
std::string boardInTestMode; // "" before the first board
std::string partialOutput;   // removed when the run is interrupted

void EndInterrupted() {
    const std::lock_guard lock(interruptedMutex);
    if (boardInTestMode.empty()) {
        std::fputs("ulvex: interrupted\n", stderr);
    } else {
        std::fprintf(stderr, "ulvex: %s interrupted while in test mode\n", boardInTestMode.c_str());
    }
    std::error_code error;
    if (!partialOutput.empty() && std::filesystem::is_regular_file(partialOutput, error)) {
        std::filesystem::remove(partialOutput, error);
    }
    RemoveTemporaryFiles();
    std::fflush(nullptr);
    std::_Exit(kInterrupted);
}

} // namespace

void CatchTestModeInterrupts() {
    static const bool caught = (CatchInterrupts(EndInterrupted), true);
    (void)caught;
}

void RemoveOnInterrupt(const std::string& path) {
    const std::lock_guard lock(interruptedMutex);
    partialOutput = path;
}

TestModeLink::TestModeLink(const TestModeBoard& board, const LinkOptions& options,
                           uint32_t targetType)
    : board_(board), baud_(options.baud),
      busmode_(BusModeWord(options.bus, options.dtr, options.rts)), targetType_(targetType),
      start_(Clock::now()) {
    current = Watch{board.port, options.json, 0};
    watch = &current;
    CatchTestModeInterrupts();
    const std::lock_guard lock(interruptedMutex);
    boardInTestMode = board.port;
}

TestModeLink::~TestModeLink() {
    if (active_) {
        End();
    }
    watch = nullptr;
}

uint32_t TestModeLink::Elapsed() const {
    return static_cast<uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start_).count());
}

bool TestModeLink::OpenPort() {
    TM_InitTestMode(board_.session);
    active_ = true;
    return TM_OpenAccessPort(board_.comport, baud_, busmode_) != ACCESS_PORT_FAILED;
}

void TestModeLink::End() {
    TM_CloseAccessPort();
    TM_StopTestMode();
    active_ = false;
}

Outcome TestModeLink::Failure(const std::string& result, const std::string& detail) const {
    Outcome o;
    o.result = result;
    o.detail = detail;
    o.ms = Elapsed();
    return o;
}

// vorn's sequence: open and probe; without an answer, end test mode, start
// the monitor through the boot loader (a single-wire bus with DTR raised
// from then on), reopen in a new test mode and set the chip up.
bool TestModeLink::Start(Outcome& failure) {
    const auto portError = [this] {
        const std::string reason = OpenFailureOf(board_.session);
        return Failure("port-error", reason.empty() ? "the port did not open" : reason);
    };
    if (!OpenPort()) {
        End();
        failure = portError();
        return false;
    }
    if (MonitorAnswers()) {
        return true;
    }
    End();
    if ((busmode_ & kBusModeMask) == kBusSingle) {
        busmode_ |= kRaiseDtr;
    }
    const uint32_t started = TM_StartMonitorProgram(board_.comport, busmode_, baud_, targetType_);
    if (started != 0) {
        End();
        if (current.firstFailure == COM_PORT_ACCESS_FAIL_IND) {
            failure = portError();
        } else if (current.firstFailure == LOADER_ID_UNKNOWN_IND) {
            failure = Failure("download-failed",
                              fmt::format("target type {} has no boot procedure", targetType_));
        } else {
            failure = Failure("download-failed",
                              fmt::format("no monitor answered at {} baud and the boot loader "
                                          "did not start one (result {}): is the board powered "
                                          "and in its boot loader? A monitor left running by an "
                                          "earlier verify or read answers only at that run's -b",
                                          baud_, started));
        }
        return false;
    }
    TM_CloseAccessPort();
    if (!OpenPort()) {
        End();
        failure = portError();
        return false;
    }
    SetUpTarget(targetType_);
    return true;
}

} // namespace ulvex
