#include "TestMode.h"

#include "Arguments.h"
#include "FlashCommand.h"
#include "IndicationEvents.h"
#include "PortMapping.h"
#include "Preflight.h"
#include "ResultEvents.h"

#include <cstdio>
#include <fmt/format.h>
#include <ulvex.h>

namespace ulvex {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBusDuplex = 2;
constexpr uint32_t kBusSingle = 1;
constexpr uint32_t kBusModeMask = 0x1F;
constexpr uint32_t kRaiseRts = 0x4000;
constexpr uint32_t kRaiseDtr = 0x8000;

// KOLT-family chips: the identity byte whose letter tells the revision, and
// the registers the set-up writes (as vorn's test mode writes them).
constexpr uint32_t kRevisionByte = 0xFFFFFE;
constexpr uint32_t kClockControl = 0xFFE124;
constexpr uint32_t kBusControl = 0xFFE110;
constexpr uint32_t kChipSelectLow = 0xFFE116;
constexpr uint32_t kChipSelectHigh = 0xFFE118;

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

bool MonitorAnswers() {
    uint16_t word = 0;
    return TM_Rd16(0, &word) == MAIL_NO_ERROR;
}

// Revisions C to F run the clock divider at a setting of 8.
bool NeedsClockSetting(uint8_t revision) {
    const uint8_t upper = revision & ~0x20u;
    return upper >= 'C' && upper <= 'F';
}

// Internal-flash boards. A revision byte that cannot be read counts as no
// match: a register is never written on a guess.
void SetUpInternalFlashChip() {
    uint8_t revision = 0;
    if (TM_Rd8(kRevisionByte, &revision) != MAIL_NO_ERROR || !NeedsClockSetting(revision)) {
        return;
    }
    uint16_t clock = 0;
    if (TM_Rd16(kClockControl, &clock) != MAIL_NO_ERROR) {
        return;
    }
    TM_Wr16(kClockControl, (clock & 0xFFF0u) | 0x0008u);
}

// External-flash boards: open the bus to the flash's chip selects. The bus
// register is only written back when its value could be read.
void SetUpExternalFlashBus() {
    uint16_t bus = 0;
    if (TM_Rd16(kBusControl, &bus) == MAIL_NO_ERROR) {
        TM_Wr16(kBusControl, bus & 0xFE3Fu);
    }
    TM_Wr16(kChipSelectLow, 0x0080);
    TM_Wr16(kChipSelectHigh, 0x0200);
}

// The registers a board's firmware would set up, after a monitor start.
void SetUpTarget(uint32_t targetType) {
    switch (targetType) {
    case 0:
    case 5:
    case 11:
    case 12:
    case 19:
    case 20:
    case 21:
        SetUpInternalFlashChip();
        break;
    case 1:
    case 2:
    case 6:
    case 7:
    case 13:
    case 23:
        SetUpExternalFlashBus();
        break;
    default:
        break;
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

TestModeLink::TestModeLink(const TestModeBoard& board, const LinkOptions& options,
                           uint32_t targetType)
    : board_(board), baud_(options.baud),
      busmode_((options.bus == "single" ? kBusSingle : kBusDuplex) | (options.dtr ? kRaiseDtr : 0) |
               (options.rts ? kRaiseRts : 0)),
      targetType_(targetType), start_(Clock::now()) {
    current = Watch{board.port, options.json, 0};
    watch = &current;
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
                              fmt::format("no monitor answered and the boot loader did not start "
                                          "one (result {})",
                                          started));
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
