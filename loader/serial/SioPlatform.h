// What the serial driver needs from the operating system. The driver's own
// logic (Sio) sees the port through these calls only; SioPosix implements
// them on Linux. Every call goes through the fault wrapper (SioCalls), so a
// test can make any of them fail.
#pragma once

#include "frame/PortHandle.h"

#include <cstdint>

// The device control record of the port: the line settings as the driver
// reads and writes them, whatever the platform keeps underneath.
struct DeviceControl {
    uint32_t length = 28;
    uint32_t baudRate = 0;
    uint32_t flags = 0; // the flag bits below
    uint16_t reserved = 0;
    uint16_t xonLimit = 0;
    uint16_t xoffLimit = 0;
    uint8_t byteSize = 8;
    uint8_t parity = 0;   // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits = 0; // 0 one, 1 one and a half, 2 two
    char xonChar = 0;
    char xoffChar = 0;
    char errorChar = 0;
    char eofChar = 0;
    char evtChar = 0;
    uint16_t reserved1 = 0;
};

enum DeviceControlFlag : uint32_t {
    DCB_BINARY = 1u << 0,
    DCB_PARITY = 1u << 1,
    DCB_OUTX_CTS_FLOW = 1u << 2,
    DCB_OUTX_DSR_FLOW = 1u << 3,
    DCB_DTR_CONTROL_MASK = 3u << 4,
    DCB_DSR_SENSITIVITY = 1u << 6,
    DCB_TX_CONTINUE_ON_XOFF = 1u << 7,
    DCB_OUTX = 1u << 8,
    DCB_INX = 1u << 9,
    DCB_ERROR_CHAR = 1u << 10,
    DCB_NULL = 1u << 11,
    DCB_RTS_CONTROL_MASK = 3u << 12,
    DCB_ABORT_ON_ERROR = 1u << 14,
};

struct PortTimeouts {
    uint32_t readInterval = 0;
    uint32_t readTotalMultiplier = 0;
    uint32_t readTotalConstant = 0;
    uint32_t writeTotalMultiplier = 0;
    uint32_t writeTotalConstant = 0;

    bool operator==(const PortTimeouts&) const = default;
};

// The only time-outs the driver uses: a read returns at once with what has
// arrived, a write never times out.
constexpr PortTimeouts kImmediateReads{0xFFFFFFFF, 0, 0, 0, 0};

enum PurgeFlag : uint32_t {
    PURGE_TXABORT = 1,
    PURGE_RXABORT = 2,
    PURGE_TXCLEAR = 4,
    PURGE_RXCLEAR = 8,
};

// Line escape codes.
enum EscapeCode : uint32_t {
    ESCAPE_SETRTS = 3,
    ESCAPE_CLRRTS = 4,
    ESCAPE_SETDTR = 5,
    ESCAPE_CLRDTR = 6,
    ESCAPE_SETBREAK = 8,
    ESCAPE_CLRBREAK = 9,
};

enum class WaitResult { Readable, TimedOut, Failed };

// The platform calls, each behind the fault wrapper. Boolean results are
// true on success; the reason of a failure is in PortLastError().
PortHandle PortOpen(uint8_t port);
bool PortSetupQueues(PortHandle port, uint32_t receiveSize, uint32_t transmitSize);
bool PortGetState(PortHandle port, DeviceControl& dcb);
bool PortSetState(PortHandle port, const DeviceControl& dcb);
bool PortBuildState(const char* mode, DeviceControl& dcb);
bool PortSetTimeouts(PortHandle port, const PortTimeouts& timeouts);
bool PortGetTimeouts(PortHandle port, PortTimeouts& timeouts);
bool PortPurge(PortHandle port, uint32_t flags);
bool PortClearErrors(PortHandle port);
bool PortEscape(PortHandle port, uint32_t code);
// Writes all bytes and returns once they have left the PC.
bool PortWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t& written);
// Returns at once with what has arrived, possibly nothing.
bool PortRead(PortHandle port, uint8_t* buffer, uint32_t capacity, uint32_t& read);
// Blocks until a byte can be read or the time is up.
WaitResult PortWaitReadable(PortHandle port, uint32_t timeoutMs);
bool PortClose(PortHandle port);
uint32_t PortLastError();

// The same calls without the fault wrapper, implemented once per platform.
namespace platform {
PortHandle Open(uint8_t port);
bool SetupQueues(PortHandle port, uint32_t receiveSize, uint32_t transmitSize);
bool GetState(PortHandle port, DeviceControl& dcb);
bool SetState(PortHandle port, const DeviceControl& dcb);
bool BuildState(const char* mode, DeviceControl& dcb);
bool SetTimeouts(PortHandle port, const PortTimeouts& timeouts);
bool GetTimeouts(PortHandle port, PortTimeouts& timeouts);
bool Purge(PortHandle port, uint32_t flags);
bool ClearErrors(PortHandle port);
bool Escape(PortHandle port, uint32_t code);
bool Write(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t& written);
bool Read(PortHandle port, uint8_t* buffer, uint32_t capacity, uint32_t& read);
WaitResult WaitReadable(PortHandle port, uint32_t timeoutMs);
bool Close(PortHandle port);
uint32_t LastError();
// Makes LastError() report the code an injected failure stands for.
void SetInjectedError();
} // namespace platform
