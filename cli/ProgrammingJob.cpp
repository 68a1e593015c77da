// The programming job: one FlashLoader session, session id 0, waited for
// until the display has seen its STOP_PROGRAM_IND. The session's outcome
// shows only in the indications; the exit code tells whether it started.
#include "Jobs.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "IndicationDisplay.h"
#include "ulvex.h"

namespace {

constexpr uint16_t kSessionId = 0;
// How often the main thread looks at the running flag.
constexpr std::chrono::milliseconds kRunningPoll{100};

// Message and exit code for each refusal FlashLoader can give.
int ReportRefusal(uint32_t result) {
    switch (result) {
    case 1:
        fputs("\n### No Access to serial port ###\n", stdout);
        return 1;
    case FLASHLOADER_FILE_ERROR:
        fputs("\n### Can't open file ###\n", stdout);
        return 2;
    case FLASHLOADER_TARGET_REFUSED:
        fputs("\n### Unknown target type ###\n", stdout);
        return 4;
    case FLASHLOADER_BUSMODE_REFUSED:
        fputs("\n### Unknown bus mode type ###\n", stdout);
        return 5;
    default:
        // No worker runs, so no stop indication will ever come.
        fputs("\n### Session could not be started ###\n", stdout);
        return static_cast<int>(result);
    }
}

} // namespace

int RunProgrammingJob(const RunSettings& settings) {
    SetSessionRunning(kSessionId, true);
    const uint32_t result =
        FlashLoader(settings.comPort, settings.busMode & 0xFFFFu, settings.baudRate,
                    settings.targetType & 0xFFFFu, settings.fileName, kSessionId);
    if (result != FLASHLOADER_STARTED) {
        SetSessionRunning(kSessionId, false);
        return ReportRefusal(result);
    }
    do {
        std::this_thread::sleep_for(kRunningPoll);
    } while (SessionRunning(kSessionId));
    return 0;
}
