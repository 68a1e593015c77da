// Console dump of a port's line settings and time-outs, for diagnosing a
// port that does not behave.
#include "serial/Sio.h"

#include "frame/ThreadContext.h"
#include "frame/Trace.h"

#include <cstdio>

namespace {

constexpr const char* kModuleName = "Sio";

void PrintField(const char* format, uint32_t value) {
    std::printf(format, static_cast<unsigned long>(value));
}

// Characters print as the signed values they are, widened like a char
// argument of printf.
uint32_t CharValue(char c) {
    return static_cast<uint32_t>(static_cast<int32_t>(c));
}

void PrintDeviceControl(const DeviceControl& dcb) {
    const uint32_t f = dcb.flags;
    std::printf("\nThe DCB structure defines the control setting for a serial communications "
                "device. ");
    PrintField("\n%08lX DWORD DCBlength;          : sizeof(DCB)     \t\t  ", dcb.length);
    PrintField("\n%08lX DWORD BaudRate;           : current baud rate\t\t  ", dcb.baudRate);
    PrintField("\n%08lX DWORD fBinary: 1;         : binary mode, no EOF check\t  ", f & 1);
    PrintField("\n%08lX DWORD fParity: 1;         : enable parity checking\t\t  ", (f >> 1) & 1);
    PrintField("\n%08lX DWORD fOutxCtsFlow:1;     : CTS output flow control\t\t  ", (f >> 2) & 1);
    PrintField("\n%08lX DWORD fOutxDsrFlow:1;     : DSR output flow control\t\t  ", (f >> 3) & 1);
    PrintField("\n%08lX DWORD fDtrControl:2;      : DTR flow control type\t\t  ", (f >> 4) & 3);
    PrintField("\n%08lX DWORD fDsrSensitivity:1;  : DSR sensitivity\t\t\t\t  ", (f >> 6) & 1);
    PrintField("\n%08lX DWORD fTXContinueOnXoff:1;: XOFF continues Tx\t\t\t  ", (f >> 7) & 1);
    PrintField("\n%08lX DWORD fOutX: 1;           : XON/XOFF out flow control\t  ", (f >> 8) & 1);
    PrintField("\n%08lX DWORD fInX: 1;            : XON/XOFF in flow control\t  ", (f >> 9) & 1);
    PrintField("\n%08lX DWORD fErrorChar: 1;      : enable error replacement\t  ", (f >> 10) & 1);
    PrintField("\n%08lX DWORD fNull: 1;           : enable null stripping\t\t  ", (f >> 11) & 1);
    PrintField("\n%08lX DWORD fRtsControl:2;      : RTS flow control\t\t\t  ", (f >> 12) & 3);
    PrintField("\n%08lX DWORD fAbortOnError:1;    : abort reads/writes on error\t  ",
               (f >> 14) & 1);
    PrintField("\n%08lX DWORD fDummy2:17;         : reserved\t\t\t\t\t  ", f >> 15);
    PrintField("\n%08lX WORD  wReserved;          : not currently used\t\t\t  ", dcb.reserved);
    PrintField("\n%08lX WORD  XonLim;             : transmit XON threshold\t\t  ", dcb.xonLimit);
    PrintField("\n%08lX WORD  XoffLim;            : transmit XOFF threshold\t\t  ", dcb.xoffLimit);
    PrintField("\n%08lX BYTE  ByteSize;           : number of bits/byte, 4-8\t  ", dcb.byteSize);
    PrintField("\n%08lX BYTE  Parity;             : 0-4=no,odd,even,mark,space\t  ", dcb.parity);
    PrintField("\n%08lX BYTE  StopBits;           : 0,1,2 = 1, 1.5, 2\t\t\t  ", dcb.stopBits);
    PrintField("\n%08lX char  XonChar;            : Tx and Rx XON character\t\t  ",
               CharValue(dcb.xonChar));
    PrintField("\n%08lX char  XoffChar;           : Tx and Rx XOFF character\t  ",
               CharValue(dcb.xoffChar));
    PrintField("\n%08lX char  ErrorChar;          : error replacement character\t  ",
               CharValue(dcb.errorChar));
    PrintField("\n%08lX char  EofChar;            : end of input character\t\t  ",
               CharValue(dcb.eofChar));
    PrintField("\n%08lX char  EvtChar;            : received event character\t  ",
               CharValue(dcb.evtChar));
    PrintField("\n%08lX WORD  wReserved1;         : reserved; do not use\t\t  ", dcb.reserved1);
    std::printf("\n");
}

void PrintTimeouts(const PortTimeouts& t) {
    std::printf("\n\n functions to set and query the time-out parameters for a communications "
                "device.");
    PrintField("\n%08lX  DWORD ReadIntervalTimeout                   :   ", t.readInterval);
    PrintField("\n%08lX  DWORD ReadTotalTimeoutMultiplier            :   ", t.readTotalMultiplier);
    PrintField("\n%08lX  DWORD ReadTotalTimeoutConstant              :   ", t.readTotalConstant);
    PrintField("\n%08lX  DWORD WriteTotalTimeoutMultiplier           :   ", t.writeTotalMultiplier);
    PrintField("\n%08lX  DWORD WriteTotalTimeoutConstant             :   ", t.writeTotalConstant);
}

// Opens the port only for the dump; a failure here is silent.
bool OpenForDump(uint8_t comport) {
    char mode[32];
    std::snprintf(mode, sizeof mode, "COM%u:9600,n,8,1", comport);
    DeviceControl built;
    if (!PortBuildState(mode, built)) {
        return false;
    }
    Ctx().serial.port = PortOpen(comport);
    if (Ctx().serial.port == kNoPort) {
        return false;
    }
    if (!PortSetupQueues(Ctx().serial.port, kReceiveQueueSize, kTransmitQueueSize)) {
        CloseSerialPort();
        return false;
    }
    return true;
}

} // namespace

uint32_t ShowSerialControlSettings(uint32_t port) {
    if (Ctx().serial.port != kNoPort) {
        return 1;
    }
    const uint8_t comport = static_cast<uint8_t>(port);
    if (comport == 0 || comport > 254 || !OpenForDump(comport)) {
        return 0;
    }
    const PortHandle handle = Ctx().serial.port;
    DeviceControl dcb;
    if (!PortGetState(handle, dcb)) {
        CloseSerialPort();
        return 0;
    }
    PrintDeviceControl(dcb);
    PortTimeouts timeouts;
    if (!PortGetTimeouts(handle, timeouts)) {
        CloseSerialPort();
        return 0;
    }
    PrintTimeouts(timeouts);
    if (!PortClearErrors(handle)) {
        ERROR_TRACE("ShowSerialControlSettings", "Error: ClearCommError()");
        LOG_ERROR_LINE("ClearCommError()");
    }
    CloseSerialPort();
    return 1;
}
