// The test-mode bracket and the test-mode exports that need no target.
#include "api/FLoader.h"
#include "frame/Indication.h"
#include "frame/OpenFailures.h"
#include "frame/Trace.h"
#include "frame/TraceLog.h"
#include "image/HexFile.h"
#include "link/LinkState.h"
#include "serial/Sio.h"

extern "C" {

ULVEX_API uint32_t ULVEX_CALL TM_InitTestMode(uint32_t sessionid) {
    ResetLinkState();
    ThreadContext& c = Ctx();
    c.sessionId = static_cast<uint16_t>(sessionid);
    ForgetOpenFailure(c.sessionId);
    StartThreadLog("TestMode_");
    // Test mode has no target type of its own; the header names the one in
    // the thread's session block.
    WriteTestModeLogHeader(c.session.targettype, c.sessionId);
    SendIndicationLong(START_PROGRAM_IND, ULVEX_VERSION);
    return 0;
}

ULVEX_API uint32_t ULVEX_CALL TM_StopTestMode(void) {
    SendIndicationLong(STOP_PROGRAM_IND, TickNow() - Ctx().timing.sessionStart);
    SetTraceMask(0);
    return 0;
}

ULVEX_API uint32_t ULVEX_CALL TM_ReadHexFile(const char* filename, uint32_t keep, uint8_t** buffer,
                                             uint32_t* size, uint32_t* base) {
    if (filename == nullptr || buffer == nullptr || size == nullptr || base == nullptr) {
        return HEX_IMAGE_SCAN_PASS_FAILED;
    }
    return ReadHexImage(filename, static_cast<uint8_t>(keep), buffer, size, base);
}

} // extern "C"
