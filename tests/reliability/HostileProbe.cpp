// A host of libulvex that the hostile-input tests run as a child process, so
// that the library's peak memory is measured apart from the test's:
//   hostile_probe read FILE               TM_ReadHexFile: result, size, base, CRC32
//   hostile_probe session PORT TYPE FILE  one FlashLoader session: result and the
//                                         indication codes up to STOP_PROGRAM_IND
// Exit code 0 when the call returned (and a session stopped), 3 when a
// session never sent its stop indication, 2 on bad arguments.
#include "ulvex.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>
#include <zlib.h>

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;
constexpr uint32_t kSessionId = 1;
// Far beyond any session on the virtual board; reaching it means a hang.
constexpr auto kStopLimit = std::chrono::seconds(120);

std::mutex gMutex;
std::condition_variable gStopped;
std::vector<uint16_t> gCodes;
bool gStop = false;

void ULVEX_CALL Record(IndicationRecord* record) {
    std::lock_guard lock(gMutex);
    gCodes.push_back(record->code);
    if (record->code == STOP_PROGRAM_IND) {
        gStop = true;
        gStopped.notify_all();
    }
}

int Read(const char* file) {
    uint8_t* buffer = nullptr;
    uint32_t size = 0;
    uint32_t base = 0;
    const uint32_t result = TM_ReadHexFile(file, 0, &buffer, &size, &base);
    unsigned long crc = 0;
    if (result == HEX_IMAGE_READY) {
        crc = crc32(0, buffer, size);
        free(buffer);
    }
    printf("result=%u size=%u base=%08X crc=%08lX\n", result, size, base, crc);
    return 0;
}

int Session(uint32_t port, uint32_t type, const char* file) {
    SetupCallbackFunction(Record);
    const uint32_t result = FlashLoader(port, kDuplex, kWorkRate, type, file, kSessionId);
    printf("result=%u codes=", result);
    if (result != FLASHLOADER_STARTED) {
        printf("\n");
        return 0;
    }
    std::unique_lock lock(gMutex);
    const bool stopped = gStopped.wait_for(lock, kStopLimit, [] { return gStop; });
    for (size_t i = 0; i < gCodes.size(); ++i) {
        printf("%s%u", i == 0 ? "" : ",", gCodes[i]);
    }
    printf("\n");
    return stopped ? 0 : 3;
}

} // namespace

int main(int argc, char** argv) {
    const std::string job = argc > 1 ? argv[1] : "";
    if (job == "read" && argc == 3) {
        return Read(argv[2]);
    }
    if (job == "session" && argc == 5) {
        return Session(static_cast<uint32_t>(strtoul(argv[2], nullptr, 10)),
                       static_cast<uint32_t>(strtoul(argv[3], nullptr, 10)), argv[4]);
    }
    fputs("usage: hostile_probe read FILE | session PORT TYPE FILE\n", stderr);
    return 2;
}
