// The fault wrapper between the serial driver and the platform: each call
// first asks whether a test armed a failure for it, and if so fails the way
// the platform would, with an error code to report.
#include "frame/Faults.h"
#include "serial/OpenFailure.h"
#include "serial/SioPlatform.h"

#include <string>

namespace {

bool Injected(Fault fault) {
    if (!FaultFires(fault)) {
        return false;
    }
    platform::SetInjectedError();
    return true;
}

} // namespace

PortHandle PortOpen(uint8_t port) {
    if (Injected(Fault::PortOpen)) {
        NoteOpenFailure(port, "COM" + std::to_string(port), "a failure injected by a test");
        return kNoPort;
    }
    return platform::Open(port);
}

bool PortSetupQueues(PortHandle port, uint32_t receiveSize, uint32_t transmitSize) {
    return !Injected(Fault::PortQueues) && platform::SetupQueues(port, receiveSize, transmitSize);
}

bool PortGetState(PortHandle port, DeviceControl& dcb) {
    return !Injected(Fault::PortGetState) && platform::GetState(port, dcb);
}

bool PortSetState(PortHandle port, const DeviceControl& dcb) {
    return !Injected(Fault::PortSetState) && platform::SetState(port, dcb);
}

bool PortBuildState(const char* mode, DeviceControl& dcb) {
    return !Injected(Fault::PortBuildState) && platform::BuildState(mode, dcb);
}

bool PortSetTimeouts(PortHandle port, const PortTimeouts& timeouts) {
    return !Injected(Fault::PortSetTimeouts) && platform::SetTimeouts(port, timeouts);
}

bool PortGetTimeouts(PortHandle port, PortTimeouts& timeouts) {
    return !Injected(Fault::PortGetTimeouts) && platform::GetTimeouts(port, timeouts);
}

bool PortPurge(PortHandle port, uint32_t flags) {
    return !Injected(Fault::PortPurge) && platform::Purge(port, flags);
}

bool PortClearErrors(PortHandle port) {
    return !Injected(Fault::PortClearErrors) && platform::ClearErrors(port);
}

bool PortEscape(PortHandle port, uint32_t code) {
    RecordEscapeCall(code);
    return !Injected(Fault::PortEscape) && platform::Escape(port, code);
}

bool PortWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t& written) {
    if (Injected(Fault::PortWrite)) {
        written = 0;
        return false;
    }
    return platform::Write(port, bytes, count, written);
}

bool PortRead(PortHandle port, uint8_t* buffer, uint32_t capacity, uint32_t& read) {
    if (Injected(Fault::PortRead)) {
        read = 0;
        return false;
    }
    return platform::Read(port, buffer, capacity, read);
}

WaitResult PortWaitReadable(PortHandle port, uint32_t timeoutMs) {
    return Injected(Fault::PortWait) ? WaitResult::Failed : platform::WaitReadable(port, timeoutMs);
}

bool PortClose(PortHandle port) {
    return !Injected(Fault::PortClose) && platform::Close(port);
}

uint32_t PortLastError() {
    return platform::LastError();
}
