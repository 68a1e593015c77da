#include "FlashCommand.h"

#include "BusMode.h"
#include "FlashRun.h"
#include "Interrupt.h"
#include "PortMapping.h"
#include "Preflight.h"
#include "Terminal.h"
#include "image/ImageFile.h"

#include <cstdio>
#include <filesystem>
#include <fmt/format.h>
#include <map>
#include <set>
#include <tuple>
#include <unistd.h>

namespace ulvex {

namespace {

constexpr uint32_t kLogMask = DEBUG_MAIL_TRACE | DEBUG_INDICATIONS;

Run* run = nullptr;
FlashView* view = nullptr;

void ULVEX_CALL OnIndication(IndicationRecord* record) {
    const std::lock_guard lock(run->mutex);
    for (Board& b : run->boards) {
        if (b.session != record->sessionid) {
            continue;
        }
        b.tracker.Take(*record);
        b.progress.Take(*record, Clock::now());
        view->Indication(b, *record);
        if (record->code == STOP_PROGRAM_IND) {
            run->changed.notify_all();
        }
    }
}

std::string StartFailure(uint32_t code) {
    switch (code) {
    case 1:
        return "the library did not take the session (result 1)";
    case FLASHLOADER_FILE_ERROR:
        return "the library cannot open the image, or its path has 200 characters or more";
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

// Each board's target, image and port, or the usage error of the first
// that has none. Nothing is touched yet; an image that several boards
// share is converted once.
std::string Prepare(std::vector<Board>& boards, const std::vector<BoardJob>& jobs) {
    std::set<std::string> ports;
    std::map<std::tuple<std::string, std::string, std::optional<uint32_t>>, LibraryImage> images;
    for (size_t i = 0; i < jobs.size(); ++i) {
        Board& b = boards[i];
        b.job = jobs[i];
        b.session = static_cast<uint16_t>(i + 1);
        const TargetLookup target = FindTarget(b.job.target);
        if (target.type == nullptr) {
            return target.error;
        }
        if (target.type->refused) {
            return fmt::format("the library refuses target type {} ({})", target.type->number,
                               target.type->name);
        }
        b.target = target.type;
        std::error_code error;
        const auto key = std::make_tuple(std::filesystem::absolute(b.job.image, error).string(),
                                         b.job.format, b.job.base);
        auto image = images.find(key);
        if (image == images.end()) {
            image =
                images.emplace(key, PrepareImage({b.job.image, b.job.format, b.job.base})).first;
        }
        if (!image->second.error.empty()) {
            return image->second.error;
        }
        b.image = image->second.hexPath;
        b.address = ParsePort(b.job.port);
        if (!b.address.error.empty()) {
            return b.job.port + ": " + b.address.error;
        }
        if (!ports.insert(b.job.port).second) {
            return b.job.port + ": the port is given twice";
        }
    }
    return "";
}

// COM numbers for the ports given by path or URL (PortMapping).
bool MapPorts(std::vector<Board>& boards) {
    std::vector<PortArgument> ports;
    for (const Board& b : boards) {
        ports.push_back(b.address);
    }
    const std::optional<std::vector<uint32_t>> comports = ulvex::MapPorts(ports);
    if (!comports) {
        return false;
    }
    for (size_t i = 0; i < boards.size(); ++i) {
        boards[i].comport = (*comports)[i];
    }
    return true;
}

// false when a port failed its check; each failure is on standard error.
bool CheckPorts(std::vector<Board>& boards) {
    bool passed = true;
    for (Board& b : boards) {
        b.checkFailure = CheckPort(b.address);
        if (!b.checkFailure.empty()) {
            std::fprintf(stderr, "ulvex: %s\n", b.checkFailure.c_str());
            passed = false;
        }
    }
    return passed;
}

void StartSessions(Run& state) {
    for (Board& b : state.boards) {
        if (!b.checkFailure.empty()) {
            continue;
        }
        const uint32_t started =
            FlashLoader(b.comport, BusModeWord(b.job.bus, b.job.dtr, b.job.rts), b.job.baud,
                        b.target->number, b.image.c_str(), b.session);
        if (started != FLASHLOADER_STARTED) {
            const std::lock_guard lock(state.mutex);
            b.startFailure = StartFailure(started);
        }
    }
}

void TellInterrupted(const Run& state) {
    for (const Board& b : state.boards) {
        if (b.Running()) {
            std::fprintf(stderr, "ulvex: %s %s\n", b.job.port.c_str(), b.Result().detail.c_str());
        }
    }
}

std::unique_ptr<FlashView> ViewFor(const FlashOptions& options, Run& state) {
    if (options.json) {
        return MakeJsonView(state);
    }
    if (!options.quiet && OutputIsTerminal()) {
        return MakeLiveView(state);
    }
    return MakeLinesView(options.quiet);
}

// Ctrl-C before the sessions start ends the run at once; after, the
// waiting command is told, names the boards and ends it.
void OnInterrupt() {
    const std::lock_guard lock(run->mutex);
    if (!run->started) {
        RemoveTemporaryFiles();
        std::fputs("ulvex: interrupted before any board was touched\n", stderr);
        std::fflush(nullptr);
        std::_Exit(kInterrupted);
    }
    run->interrupted = true;
    run->changed.notify_all();
}

} // namespace

int RunFlash(const FlashOptions& options) {
    static Run state;
    run = &state;
    CatchInterrupts(OnInterrupt);
    state.boards.resize(options.boards.size());
    if (const std::string error = Prepare(state.boards, options.boards); !error.empty()) {
        return Usage(error);
    }
    if (!CheckPorts(state.boards) && !options.keepGoing) {
        return kPortCheck;
    }
    if (!MapPorts(state.boards)) {
        return Usage("too many ports for the library's COM numbers");
    }
    if (!options.logDir.empty()) {
        std::error_code error;
        std::filesystem::create_directories(options.logDir, error);
        if (::chdir(options.logDir.c_str()) != 0) {
            return Usage("cannot write logs into " + options.logDir);
        }
        SetDebug(kLogMask);
    }
    static std::unique_ptr<FlashView> shown = ViewFor(options, state);
    view = shown.get();
    SetupCallbackFunction(OnIndication);
    state.start = Clock::now();
    {
        const std::lock_guard lock(state.mutex);
        state.started = true;
    }
    StartSessions(state);
    {
        std::unique_lock lock(state.mutex);
        state.changed.wait(lock, [&] {
            return state.interrupted || std::none_of(state.boards.begin(), state.boards.end(),
                                                     [](const Board& b) { return b.Running(); });
        });
    }
    view->Finish(state);
    const std::lock_guard lock(state.mutex);
    if (state.interrupted) {
        TellInterrupted(state);
        // Sessions still run on their threads: leave without destructors.
        RemoveTemporaryFiles();
        std::fflush(nullptr);
        std::_Exit(kInterrupted);
    }
    const bool allVerified = std::all_of(state.boards.begin(), state.boards.end(),
                                         [](const Board& b) { return b.Result().ok; });
    return allVerified ? kAllVerified : kBoardFailed;
}

} // namespace ulvex
