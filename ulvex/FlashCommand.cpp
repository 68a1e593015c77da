#include "FlashCommand.h"

#include "Arguments.h"
#include "IndicationEvents.h"
#include "Outcome.h"
#include "PortMapping.h"
#include "Preflight.h"
#include "ResultEvents.h"
#include "Targets.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fmt/format.h>
#include <mutex>
#include <unistd.h>

namespace ulvex {

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t kBusDuplex = 2;
constexpr uint32_t kBusSingle = 1;
constexpr uint32_t kRaiseRts = 0x4000;
constexpr uint32_t kRaiseDtr = 0x8000;
constexpr uint32_t kLogMask = DEBUG_MAIL_TRACE | DEBUG_INDICATIONS;

struct Board {
    std::string port;
    uint32_t comport = 0;
    uint16_t session = 0;
    OutcomeTracker tracker;
    std::string startFailure; // FlashLoader refused to start
    std::string checkFailure; // the port failed its check; no session
    uint32_t size = 0;
    uint32_t offset = 0;
    int tenthsShown = -1;
};

// The run the library's callback reports to; the callback has no context
// argument, so there is one run per process.
struct Run {
    std::mutex mutex;
    std::condition_variable stopped;
    std::vector<Board> boards;
    bool json = false;
    bool quiet = false;
    Clock::time_point start = Clock::now();
};
Run* run = nullptr;

const char* StageOf(uint16_t code) {
    switch (code) {
    case START_PROGRAM_IND:
        return "starting";
    case DOWNLOAD_SUCCESS_IND:
    case COM_PORT_FOUND_IND:
    case TARGET_FOUND_IND:
        return "monitor running";
    case CHIP_ERASE_START_IND:
    case SECTOR_ERASE_START_IND:
        return "erasing";
    case PROGRAMMING_SUCCESS_IND:
        return "verifying";
    case CRC_OK_IND:
        return "verified";
    case CRC_ERROR_IND:
        return "CRC mismatch";
    case RESET_TARGET_IND:
        return "restarted";
    default:
        return nullptr;
    }
}

void PrintPlain(Board& b, const IndicationRecord& r) {
    if (r.code == PROGRAM_SIZE_IND) {
        b.size = r.param.longs[0];
    } else if (r.code == PROGRAM_OFFSET_IND) {
        b.offset = r.param.longs[0];
    }
    if (r.code == PROGRAM_PROGRESS_IND && b.size != 0) {
        const uint64_t done = r.param.longs[0] - b.offset;
        const int tenths = static_cast<int>(std::min<uint64_t>(done * 10 / b.size, 10));
        if (tenths > b.tenthsShown) {
            b.tenthsShown = tenths;
            std::printf("%s: programming %d %%\n", b.port.c_str(), tenths * 10);
        }
    } else if (const char* stage = StageOf(r.code)) {
        std::printf("%s: %s\n", b.port.c_str(), stage);
    } else if (r.code == MAIL_ERROR_IND) {
        std::printf("%s: mail error %u\n", b.port.c_str(), r.param.words[0]);
    } else if (r.code == COM_PORT_ACCESS_FAIL_IND) {
        std::printf("%s: the port did not open\n", b.port.c_str());
    }
    std::fflush(stdout);
}

void ULVEX_CALL OnIndication(IndicationRecord* record) {
    const std::lock_guard lock(run->mutex);
    for (Board& b : run->boards) {
        if (b.session != record->sessionid) {
            continue;
        }
        b.tracker.Take(*record);
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - run->start);
        if (run->json) {
            PrintJson(IndicationEvent(b.port, *record, static_cast<uint64_t>(ms.count())));
        } else if (!run->quiet) {
            PrintPlain(b, *record);
        }
        if (record->code == STOP_PROGRAM_IND) {
            run->stopped.notify_all();
        }
    }
}

std::string StartFailure(uint32_t code) {
    switch (code) {
    case FLASHLOADER_FILE_ERROR:
        return "the library cannot open the image";
    case FLASHLOADER_TARGET_REFUSED:
        return "the library refuses this target type";
    case FLASHLOADER_BUSMODE_REFUSED:
        return "the library refuses this bus mode";
    case FLASHLOADER_THREAD_ERROR:
        return "the library could not start a session thread";
    default:
        return "the library did not start the session (result " + std::to_string(code) + ")";
    }
}

int Usage(const std::string& message) {
    std::fprintf(stderr, "ulvex: %s\n", message.c_str());
    return kUsage;
}

int Report(Run& r) {
    const auto ms = static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - r.start).count());
    int ok = 0;
    if (!r.json) {
        std::printf("\n%-28s %-16s %-9s %-9s %s\n", "port", "result", "file CRC", "target CRC",
                    "detail");
    }
    for (const Board& b : r.boards) {
        Outcome o = b.tracker.Result();
        if (!b.checkFailure.empty()) {
            o.result = "port-error";
            o.detail = b.checkFailure;
        } else if (!b.startFailure.empty()) {
            o.result = "not-started";
            o.detail = b.startFailure;
        } else if (o.result == "port-error") {
            o.detail = OpenFailureOf(b.session);
        }
        ok += o.ok ? 1 : 0;
        const nlohmann::json event = ResultEvent(b.port, o);
        if (r.json) {
            PrintJson(event);
        } else {
            std::printf("%-28s %-16s %-9s %-9s %s\n", b.port.c_str(), o.result.c_str(),
                        o.haveCrc ? fmt::format("{:08X}", o.crcFile).c_str() : "-",
                        o.haveCrc ? fmt::format("{:08X}", o.crcTarget).c_str() : "-",
                        o.detail.c_str());
        }
    }
    const int boards = static_cast<int>(r.boards.size());
    if (r.json) {
        PrintJson(SummaryEvent(boards, ok));
    } else {
        std::printf("%d of %d boards verified in %.1f s\n", ok, boards, ms / 1000.0);
    }
    return ok == boards ? kAllVerified : kBoardFailed;
}

} // namespace

int RunFlash(const FlashOptions& options) {
    const TargetLookup target = FindTarget(options.target);
    if (target.type == nullptr) {
        return Usage(target.error);
    }
    if (target.type->refused) {
        return Usage(fmt::format("the library refuses target type {} ({})", target.type->number,
                                 target.type->name));
    }
    std::error_code error;
    const std::string image = std::filesystem::absolute(options.image, error).string();
    if (FILE* f = std::fopen(image.c_str(), "rb")) {
        std::fclose(f);
    } else {
        return Usage("cannot read the image " + options.image);
    }
    std::vector<PortArgument> ports;
    for (const std::string& text : options.ports) {
        ports.push_back(ParsePort(text));
        if (!ports.back().error.empty()) {
            return Usage(text + ": " + ports.back().error);
        }
    }
    static Run state;
    run = &state;
    state.json = options.json;
    state.quiet = options.quiet;
    state.boards.resize(ports.size());
    for (size_t i = 0; i < ports.size(); ++i) {
        state.boards[i].port = options.ports[i];
        state.boards[i].session = static_cast<uint16_t>(i + 1);
    }
    bool checked = true;
    for (size_t i = 0; i < ports.size(); ++i) {
        state.boards[i].checkFailure = CheckPort(ports[i]);
        if (!state.boards[i].checkFailure.empty()) {
            std::fprintf(stderr, "ulvex: %s\n", state.boards[i].checkFailure.c_str());
            checked = false;
        }
    }
    if (!checked && !options.keepGoing) {
        return kPortCheck;
    }
    const auto comports = MapPorts(ports);
    if (!comports) {
        return Usage("too many ports for the library's COM numbers");
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        state.boards[i].comport = (*comports)[i];
    }
    if (!options.logDir.empty()) {
        std::filesystem::create_directories(options.logDir, error);
        if (::chdir(options.logDir.c_str()) != 0) {
            return Usage("cannot write logs into " + options.logDir);
        }
        SetDebug(kLogMask);
    }
    const uint32_t busmode = (options.bus == "single" ? kBusSingle : kBusDuplex) |
                             (options.dtr ? kRaiseDtr : 0) | (options.rts ? kRaiseRts : 0);
    SetupCallbackFunction(OnIndication);
    state.start = Clock::now();
    for (Board& b : state.boards) {
        if (!b.checkFailure.empty()) {
            continue;
        }
        const uint32_t started = FlashLoader(b.comport, busmode, options.baud, target.type->number,
                                             image.c_str(), b.session);
        if (started != FLASHLOADER_STARTED) {
            const std::lock_guard lock(state.mutex);
            b.startFailure = StartFailure(started);
        }
    }
    std::unique_lock lock(state.mutex);
    state.stopped.wait(lock, [&] {
        for (const Board& b : state.boards) {
            if (b.startFailure.empty() && b.checkFailure.empty() && !b.tracker.Stopped()) {
                return false;
            }
        }
        return true;
    });
    return Report(state);
}

} // namespace ulvex
