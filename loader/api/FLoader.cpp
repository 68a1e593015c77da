// The session family of exports: argument checks and the hand-over of a
// session's parameters to its worker thread.
#include "api/FLoader.h"

#include "frame/Faults.h"
#include "frame/OpenFailures.h"
#include "frame/Threads.h"
#include "frame/Trace.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <thread>

namespace {

constexpr const char* kModuleName = "FLoader";

constexpr uint32_t kFilenameField = sizeof(SessionParams::filename);
constexpr auto kHandOverPoll = std::chrono::milliseconds(10);

// The parameters on their way to the worker. SessionBusy admits one
// hand-over at a time, so one block serves every call. It must not live
// with the calling thread: a host thread may end as soon as FlashLoader
// returns, before its worker has copied the block, and a thread started
// next takes over its memory.
SessionParams handOverBlock;

bool BusModeAccepted(uint32_t busmode) {
    uint32_t mode = busmode & 0x1F;
    return mode == 1 || mode == 2;
}

bool TargetTypeAccepted(uint32_t targettype) {
    return targettype <= 23 && targettype != 4 && targettype != 8 && targettype != 9;
}

// The name must fit the parameter block with its terminator, and the file
// must open for reading now; the programmer reads it later. Only a regular
// file qualifies: opening a FIFO would block this call until a writer came,
// and the programmer could not read the bytes it delivered again.
bool FileReadable(const char* filename) {
    if (filename == nullptr || strnlen(filename, kFilenameField) >= kFilenameField) {
        return false;
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(filename, error)) {
        return false;
    }
    FILE* file = std::fopen(filename, "r");
    if (file == nullptr) {
        return false;
    }
    std::fclose(file);
    return true;
}

void AcquireHandOver() {
    uint32_t expected = 0;
    while (!SessionBusy.compare_exchange_weak(expected, 1)) {
        expected = 0;
        std::this_thread::sleep_for(kHandOverPoll);
    }
}

void RunWorker(void* block) {
    SessionWorker(static_cast<const SessionParams*>(block));
}

bool StartWorker(SessionParams* block) {
    if (FaultFires(Fault::ThreadStart)) {
        return false;
    }
    return StartDetachedThread(RunWorker, block);
}

} // namespace

std::atomic<uint32_t> SessionBusy{0};

extern "C" {

ULVEX_API uint32_t ULVEX_CALL FlashLoader(uint32_t comport, uint32_t busmode, uint32_t baudrate,
                                          uint32_t targettype, const char* filename,
                                          uint32_t sessionid) {
    if (!BusModeAccepted(busmode)) {
        return FLASHLOADER_BUSMODE_REFUSED;
    }
    if (!TargetTypeAccepted(targettype & 0xFFFF)) {
        return FLASHLOADER_TARGET_REFUSED;
    }
    if (!FileReadable(filename)) {
        return FLASHLOADER_FILE_ERROR;
    }

    AcquireHandOver();
    SessionParams& block = handOverBlock;
    block.comport = static_cast<uint16_t>(comport);
    block.busmode = static_cast<uint16_t>(busmode);
    block.baudrate = baudrate;
    block.targettype = static_cast<uint16_t>(targettype);
    std::memset(block.filename, 0, sizeof block.filename);
    std::strcpy(block.filename, filename);
    block.sessionid = static_cast<uint16_t>(sessionid);
    ForgetOpenFailure(block.sessionid);

    if (!StartWorker(&block)) {
        SessionBusy = 0;
        ERROR_TRACE("FlashLoader", "Error: _beginthread()");
        return FLASHLOADER_THREAD_ERROR;
    }
    return FLASHLOADER_STARTED;
}

ULVEX_API uint32_t ULVEX_CALL SetupCallbackFunction(IndicationCallback callback) {
    HostCallback = callback;
    if (callback == nullptr) {
        ERROR_TRACE("SetupCallbackFunction", "Error: SetupCallbackFunction()");
        return CALLBACK_NULL;
    }
    return CALLBACK_REGISTERED;
}

ULVEX_API IndicationCallback ULVEX_CALL ReadCallbackFunction(void) {
    return HostCallback.load();
}

ULVEX_API uint32_t ULVEX_CALL FLoaderDLLVersion(void) {
    return ULVEX_VERSION;
}

ULVEX_API uint32_t ULVEX_CALL SetDebug(uint32_t mask) {
    DebugMask = mask;
    return mask;
}

ULVEX_API uint32_t ULVEX_CALL SetBootLoaderTimeout(uint32_t seconds) {
    // Held in 16 bits: above 65 s the value wraps, as hosts of this library know it.
    auto ms = static_cast<uint16_t>((seconds & 0xFFFF) * 1000u);
    BootLoaderTimeoutMs = ms;
    return ms;
}

} // extern "C"
