#include "serial/Sio.h"

#include "frame/ThreadContext.h"
#include "frame/Trace.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr const char* kModuleName = "Sio";

// The driver waits this long after a line change before purging, so that
// bytes received at the old settings are gone by then.
constexpr uint32_t kSettleMs = 20;

constexpr uint8_t kMaxComport = 254;

PortHandle& Port() {
    return Ctx().serial.port;
}

// Clears the driver's receive and transmit buffers and drops what was read
// ahead of them.
bool PurgePort(uint32_t flags) {
    Ctx().serial.ahead.begin = Ctx().serial.ahead.end = 0;
    return PortPurge(Port(), flags);
}

// A configuration step of the open failed: the port counts as closed. The
// device is closed too, so that its exclusive lock does not outlive it.
bool AbandonOpen() {
    platform::Close(Port());
    Port() = kNoPort;
    return false;
}

void ApplyLineSettings(DeviceControl& dcb, uint32_t baudrate, uint8_t stopbits) {
    dcb.length = 28;
    dcb.baudRate = baudrate;
    dcb.flags = DCB_BINARY | DCB_TX_CONTINUE_ON_XOFF;
    dcb.reserved = 0;
    dcb.byteSize = 8;
    dcb.parity = 0;
    dcb.stopBits = stopbits;
    dcb.reserved1 = 0;
}

// The common tail of every (re)configuration: time-outs (optional), settle,
// purge, clear errors. Reports the failing step under the caller's name.
bool FinishConfiguration(const char* function, bool setTimeouts) {
    if (setTimeouts && !PortSetTimeouts(Port(), kImmediateReads)) {
        ERROR_TRACE(function, "Error: SetCommTimeouts()");
        LOG_ERROR_LINE("SetCommTimeouts()");
        return false;
    }
    DelayMs(kSettleMs);
    if (!PurgePort(kPurgeAll)) {
        ERROR_TRACE(function, "Error: PurgeComm()");
        LOG_ERROR_LINE("PurgeComm()");
        return false;
    }
    if (!PortClearErrors(Port())) {
        ERROR_TRACE(function, "Error: ClearCommError()");
        LOG_ERROR_LINE("ClearCommError()");
        return false;
    }
    return true;
}

bool ConfigureOpenedPort(uint32_t baudrate, uint8_t stopbits) {
    if (!PortSetupQueues(Port(), kReceiveQueueSize, kTransmitQueueSize)) {
        ERROR_TRACE("OpenSerialPort", "Error: SetupComm()");
        LOG_ERROR_LINE("SetupComm()");
        return false;
    }
    DeviceControl dcb;
    if (!PortGetState(Port(), dcb)) {
        const uint32_t error = PortLastError();
        ERROR_TRACE("OpenSerialPort", "Error: GetCommState() LastError=%u", error);
        TracePrint("\n### OpenSerialPort Error: GetCommState() LastError=(0x%08X) ###\n", error);
        return false;
    }
    ApplyLineSettings(dcb, baudrate, stopbits);
    if (!PortSetState(Port(), dcb)) {
        const uint32_t error = PortLastError();
        ERROR_TRACE("OpenSerialPort", "Error: SetCommState() LastError=%u", error);
        TracePrint("\n### OpenSerialPort Error: SetCommState() LastError=(0x%08X) ###\n", error);
        return false;
    }
    return FinishConfiguration("OpenSerialPort", true);
}

// Reads the record, lets change() edit it and applies it; reports a failure
// under the caller's name.
template <typename Change>
bool ChangeState(const char* function, Change change) {
    DeviceControl dcb;
    if (!PortGetState(Port(), dcb)) {
        ERROR_TRACE(function, "Error: GetCommState()");
        LOG_ERROR_LINE("GetCommState");
        return false;
    }
    change(dcb);
    if (!PortSetState(Port(), dcb)) {
        ERROR_TRACE(function, "Error: SetCommState()");
        LOG_ERROR_LINE("SetCommState");
        return false;
    }
    return true;
}

uint32_t LineEscape(uint32_t code, const char* function, const char* message, const char* logName) {
    if (PortEscape(Port(), code)) {
        return 1;
    }
    ERROR_TRACE(function, "%s", message);
    LOG_ERROR_LINE(logName);
    return 0;
}

// Names the device or URL tried and the reason, which the error code alone
// does not tell.
void TraceOpenFailure() {
    const OpenFailure& f = Ctx().serial.lastOpenFailure;
    ERROR_TRACE("OpenSerialPort", "Error: %s is %s: %s", f.port, f.tried, f.reason);
    TracePrint("\n### OpenSerialPort Error: %s is %s: %s ###\n", f.port, f.tried, f.reason);
}

} // namespace

bool OpenSerialPort(uint32_t port, uint32_t baudrate, uint8_t stopbits) {
    if (Port() != kNoPort) {
        return true;
    }
    const uint8_t comport = static_cast<uint8_t>(port);
    if (comport == 0 || comport > kMaxComport) {
        TracePrint("\n### OpenSerialPort Error: COM%u out of range. [COM1..COM254] ###\n", comport);
        return false;
    }
    Port() = PortOpen(comport);
    if (Port() == kNoPort) {
        const uint32_t error = PortLastError();
        ERROR_TRACE("OpenSerialPort",
                    "Error: Serial port handler INVALID_HANDLE_VALUE LastError=%u", error);
        TracePrint("\n### OpenSerialPort Error: INVALID HANDLER LastError=(0x%08X) ###\n", error);
        TraceOpenFailure();
        return false;
    }
    if (!ConfigureOpenedPort(baudrate, stopbits)) {
        return AbandonOpen();
    }
    return true;
}

uint32_t ChangeBaud(uint32_t baudrate) {
    if (!ChangeState("ChangeBaud", [=](DeviceControl& dcb) { dcb.baudRate = baudrate; })) {
        return 0;
    }
    return FinishConfiguration("ChangeBaud", true) ? 1 : 0;
}

uint32_t DcbfOutX(uint32_t on) {
    const auto setOutX = [=](DeviceControl& dcb) {
        dcb.flags = (on & 1) != 0 ? dcb.flags | DCB_OUTX : dcb.flags & ~DCB_OUTX;
    };
    if (!ChangeState("DcbfOutX", setOutX)) {
        return 1;
    }
    return FinishConfiguration("DcbfOutX", false) ? 0 : 1;
}

void CloseSerialPort() {
    if (Port() == kNoPort) {
        return;
    }
    if (!PurgePort(kPurgeAll)) {
        ERROR_TRACE("CloseSerialPort", "Error: PurgeComm()");
        LOG_ERROR_LINE("PurgeComm()");
        return;
    }
    if (!PortClose(Port())) {
        ERROR_TRACE("CloseSerialPort", "Error: CloseHandler()");
        LOG_ERROR_LINE("CloseHandeler()");
    }
    Port() = kNoPort;
}

uint32_t SendSerialDataBlock(const uint8_t* bytes, uint32_t count, uint32_t* written) {
    *written = 0;
    if (Port() == kNoPort) {
        return 0;
    }
    if (!PortWrite(Port(), bytes, count, *written)) {
        ERROR_TRACE("SendSerialDataBlock", "Error: WriteFile()");
        LOG_ERROR_LINE("WriteFile()");
        *written = 0;
        return 1;
    }
    return 0;
}

uint32_t SendSerialData(uint8_t byte) {
    if (Port() == kNoPort) {
        return 0;
    }
    uint32_t written = 0;
    if (!PortWrite(Port(), &byte, 1, written)) {
        ERROR_TRACE("SendSerialData", "Error: WriteFile()");
        LOG_ERROR_LINE("WriteFile()");
        return 1;
    }
    return 0;
}

uint32_t GetSerialData(uint8_t* buffer, uint32_t capacity, uint32_t* read) {
    *read = 0;
    if (Port() == kNoPort) {
        return 0;
    }
    ReadAhead& ahead = Ctx().serial.ahead;
    if (ahead.begin == ahead.end) {
        // A large read goes straight to the caller; a small one fills the
        // read-ahead with what the driver holds.
        const bool direct = capacity >= sizeof ahead.bytes;
        uint32_t got = 0;
        if (!PortRead(Port(), direct ? buffer : ahead.bytes, direct ? capacity : sizeof ahead.bytes,
                      got)) {
            ERROR_TRACE("GetSerialData", "Error: ReadFile()");
            LOG_ERROR_LINE("ReadFile()");
            return 1;
        }
        if (direct) {
            *read = got;
            return 0;
        }
        ahead.begin = 0;
        ahead.end = got;
    }
    const uint32_t taken = std::min(capacity, ahead.end - ahead.begin);
    std::memcpy(buffer, ahead.bytes + ahead.begin, taken);
    ahead.begin += taken;
    *read = taken;
    return 0;
}

void ReInitBuffer() {
    if (!PurgePort(kPurgeBuffers)) {
        ERROR_TRACE("ReInitBuffer", "Error: PurgeComm()");
        LOG_ERROR_LINE("PurgeComm()");
    }
}

uint32_t SioSetRTS() {
    return LineEscape(ESCAPE_SETRTS, "SioSetRTS", "Error: SioSetRTS", "SioSetRTS()");
}

uint32_t SioClrRTS() {
    return LineEscape(ESCAPE_CLRRTS, "SioClrRTS", "Error: SioClrRTS", "SioClrRTS()");
}

uint32_t SioSetDTR() {
    return LineEscape(ESCAPE_SETDTR, "SioSetDTR", "Error: SioSetDTR", "SioSetDTR()");
}

uint32_t SioClrDTR() {
    return LineEscape(ESCAPE_CLRDTR, "SioClrDTR", "Error: SioClrDTR", "SioClrDTR()");
}

uint32_t SioSetBREAK() {
    return LineEscape(ESCAPE_SETBREAK, "SioSetBREAK", "Error: SioSetBREAK", "SioSetBREAK()");
}

uint32_t SioClrBREAK() {
    return LineEscape(ESCAPE_CLRBREAK, "SioClrBREAK", "Error: SioClrBREAK", "SioClrBREAK()");
}

bool WaitSerialReadable(uint32_t timeoutMs) {
    if (Port() == kNoPort) {
        DelayMs(timeoutMs);
        return false;
    }
    if (const ReadAhead& ahead = Ctx().serial.ahead; ahead.begin != ahead.end) {
        return true;
    }
    return PortWaitReadable(Port(), timeoutMs) != WaitResult::TimedOut;
}

void ResetSerialState() {
    Port() = kNoPort;
    Ctx().serial.ahead.begin = Ctx().serial.ahead.end = 0;
}
