// The serial port on Windows: the communications services on a COM device
// opened exclusively, without overlapped I/O.
#include "frame/PortPaths.h"
#include "serial/OpenFailure.h"
#include "serial/SioPlatform.h"
#include "serial/SioWin32Dcb.h"

#include <cstdio>
#include <mmsystem.h>
#include <optional>
#include <string>

namespace {

// The readable-wait looks at the driver's receive queue once per
// millisecond: a non-overlapped handle offers no bounded wait for input
// (WaitCommEvent would block without a time-out), so a short sleep between
// looks keeps the processor idle and the answer's latency near 1 ms.
constexpr DWORD kWaitStepMs = 1;

HANDLE Handle(PortHandle port) {
    return reinterpret_cast<HANDLE>(port);
}

DWORD PurgeFlags(uint32_t flags) {
    // Only the receive side is purged. Every write has been flushed to the
    // line before it returned, so a real port has nothing left to discard
    // on the transmit side; a virtual port (a wine pseudo-terminal, a USB
    // adapter's buffer) would lose bytes that on a real line had already
    // arrived.
    return flags & (PURGE_RXABORT | PURGE_RXCLEAR);
}

// Bytes waiting in the driver's receive queue; false when the handle fails.
bool QueuedBytes(HANDLE handle, DWORD& queued) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle, &errors, &status)) {
        return false;
    }
    queued = status.cbInQue;
    return true;
}

// The system's text for an error code, on one line.
std::string ErrorText(DWORD error) {
    char text[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, error, 0, text, sizeof text, nullptr);
    std::string line(text, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    return line.empty() ? "error " + std::to_string(error) : line;
}

} // namespace

namespace platform {

// The time-critical waits sleep in 1 ms steps; the system timer runs at
// that resolution while a port is open, and at its own again once closed.
PortHandle Open(uint8_t port) {
    // A device the host mapped to the number comes first.
    std::string name = "\\\\.\\COM" + std::to_string(port);
    if (std::optional<std::string> mapped = MappedPortPath(port)) {
        name = *mapped;
    }
    const HANDLE handle = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        NoteOpenFailure(port, name, ErrorText(error));
        SetLastError(error);
        return kNoPort;
    }
    timeBeginPeriod(kWaitStepMs);
    return reinterpret_cast<PortHandle>(handle);
}

bool SetupQueues(PortHandle port, uint32_t receiveSize, uint32_t transmitSize) {
    return SetupComm(Handle(port), receiveSize, transmitSize) != 0;
}

bool GetState(PortHandle port, DeviceControl& control) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(Handle(port), &dcb)) {
        return false;
    }
    control = FromWindowsDcb(dcb);
    return true;
}

bool SetState(PortHandle port, const DeviceControl& control) {
    DCB dcb = ToWindowsDcb(control);
    return SetCommState(Handle(port), &dcb) != 0;
}

bool BuildState(const char* mode, DeviceControl& control) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA(mode, &dcb)) {
        return false;
    }
    control = FromWindowsDcb(dcb);
    return true;
}

bool SetTimeouts(PortHandle port, const PortTimeouts& timeouts) {
    COMMTIMEOUTS t{timeouts.readInterval, timeouts.readTotalMultiplier, timeouts.readTotalConstant,
                   timeouts.writeTotalMultiplier, timeouts.writeTotalConstant};
    return SetCommTimeouts(Handle(port), &t) != 0;
}

bool GetTimeouts(PortHandle port, PortTimeouts& timeouts) {
    COMMTIMEOUTS t{};
    if (!GetCommTimeouts(Handle(port), &t)) {
        return false;
    }
    timeouts = PortTimeouts{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier,
                            t.ReadTotalTimeoutConstant, t.WriteTotalTimeoutMultiplier,
                            t.WriteTotalTimeoutConstant};
    return true;
}

bool Purge(PortHandle port, uint32_t flags) {
    const DWORD receiveFlags = PurgeFlags(flags);
    if (receiveFlags == 0) {
        return GetFileType(Handle(port)) != FILE_TYPE_UNKNOWN;
    }
    return PurgeComm(Handle(port), receiveFlags) != 0;
}

bool ClearErrors(PortHandle port) {
    DWORD errors = 0;
    return ClearCommError(Handle(port), &errors, nullptr) != 0;
}

// The escape codes are the platform's own.
bool Escape(PortHandle port, uint32_t code) {
    return EscapeCommFunction(Handle(port), code) != 0;
}

// Returns once the bytes have left: the write, then a flush that waits for
// the transmitter, so deadlines that start after a send mean the same as
// on Linux.
bool Write(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t& written) {
    DWORD done = 0;
    const bool ok = WriteFile(Handle(port), bytes, count, &done, nullptr) != 0;
    written = done;
    return ok && FlushFileBuffers(Handle(port)) != 0;
}

// With the time-outs of kImmediateReads the read returns at once.
bool Read(PortHandle port, uint8_t* buffer, uint32_t capacity, uint32_t& read) {
    DWORD done = 0;
    const bool ok = ReadFile(Handle(port), buffer, capacity, &done, nullptr) != 0;
    read = ok ? done : 0;
    return ok;
}

// Reading the queue length also clears the line's error flags, which
// nothing else reads.
WaitResult WaitReadable(PortHandle port, uint32_t timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        DWORD queued = 0;
        if (!QueuedBytes(Handle(port), queued)) {
            return WaitResult::Failed;
        }
        if (queued > 0) {
            return WaitResult::Readable;
        }
        if (GetTickCount64() >= deadline) {
            return WaitResult::TimedOut;
        }
        Sleep(kWaitStepMs);
    }
}

bool Close(PortHandle port) {
    const bool closed = CloseHandle(Handle(port)) != 0;
    timeEndPeriod(kWaitStepMs);
    return closed;
}

uint32_t LastError() {
    return GetLastError();
}

void SetInjectedError() {
    SetLastError(ERROR_GEN_FAILURE);
}

} // namespace platform
