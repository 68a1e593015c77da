// Test-mode exports that handle the link itself: the monitor start, the
// access port, the control lines and raw bytes.
#include "boot/BootLoader.h"
#include "link/BusAccess.h"
#include "ulvex.h"

extern "C" {

ULVEX_API uint32_t ULVEX_CALL TM_StartMonitorProgram(uint32_t comport, uint32_t busmode,
                                                     uint32_t baudrate, uint32_t targettype) {
    return StartMonitorNarrowed(comport & 0xFF, busmode, baudrate, targettype);
}

// The last two arguments are taken and ignored; hosts pass 0.
ULVEX_API uint32_t ULVEX_CALL TM_OpenAccessPortEx(uint32_t comport, uint32_t baudrate,
                                                  uint32_t busmode, uint32_t stopbits,
                                                  uint32_t /*unused1*/, uint32_t /*unused2*/) {
    return OpenAccessPort(comport & 0xFF, baudrate, busmode, static_cast<uint8_t>(stopbits));
}

ULVEX_API uint32_t ULVEX_CALL TM_OpenAccessPort(uint32_t comport, uint32_t baudrate,
                                                uint32_t busmode) {
    return OpenAccessPort(comport, baudrate, busmode, 0);
}

ULVEX_API uint32_t ULVEX_CALL TM_CloseAccessPort(void) {
    return CloseAccessPort();
}

ULVEX_API uint32_t ULVEX_CALL TM_SetDTR(void) {
    return LineSetDTR();
}

ULVEX_API uint32_t ULVEX_CALL TM_ClrDTR(void) {
    return LineClrDTR();
}

ULVEX_API uint32_t ULVEX_CALL TM_SetRTS(void) {
    return LineSetRTS();
}

ULVEX_API uint32_t ULVEX_CALL TM_ClrRTS(void) {
    return LineClrRTS();
}

ULVEX_API uint32_t ULVEX_CALL TM_SetBREAK(void) {
    return LineSetBREAK();
}

ULVEX_API uint32_t ULVEX_CALL TM_ClrBREAK(void) {
    return LineClrBREAK();
}

// A failed write shows only in the trace and the log: the host always gets 1.
ULVEX_API uint32_t ULVEX_CALL TM_SendSerialData(const uint8_t* bytes, uint32_t count) {
    if (bytes != nullptr) {
        SendRawData(bytes, count);
    }
    return 1;
}

} // extern "C"
