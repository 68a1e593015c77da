// Line settings on Linux: the device control record mapped onto termios2,
// which takes any baud rate (BOTHER), so boot rates such as 8600 and 11520
// work on real UARTs.
#include "serial/RateTolerance.h"
#include "serial/RemotePorts.h"
#include "serial/SioPlatform.h"
#include "serial/SioPosixLineTime.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <sys/ioctl.h>

namespace {

int Fd(PortHandle port) {
    return static_cast<int>(port);
}

uint8_t ByteSizeOf(tcflag_t cflag) {
    switch (cflag & CSIZE) {
    case CS5:
        return 5;
    case CS6:
        return 6;
    case CS7:
        return 7;
    default:
        return 8;
    }
}

tcflag_t ByteSizeFlag(uint8_t size) {
    switch (size) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

uint8_t ParityOf(tcflag_t cflag) {
    if ((cflag & PARENB) == 0) {
        return 0;
    }
    const bool odd = (cflag & PARODD) != 0;
    if ((cflag & CMSPAR) != 0) {
        return odd ? 3 : 4;
    }
    return odd ? 1 : 2;
}

tcflag_t ParityFlags(uint8_t parity) {
    switch (parity) {
    case 1:
        return PARENB | PARODD;
    case 2:
        return PARENB;
    case 3:
        return PARENB | PARODD | CMSPAR;
    case 4:
        return PARENB | CMSPAR;
    default:
        return 0;
    }
}

// Raw 8-bit line: no echo, no line editing, no character translation, no
// signals; reads return at once.
void MakeRaw(termios2& t) {
    t.c_iflag &=
        ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

void ApplyControl(termios2& t, const DeviceControl& dcb) {
    MakeRaw(t);
    t.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= BOTHER | CLOCAL | CREAD | ByteSizeFlag(dcb.byteSize) | ParityFlags(dcb.parity);
    // One and a half stop bits exist only with five data bits; Linux sets
    // them with the same flag as two.
    if (dcb.stopBits != 0) {
        t.c_cflag |= CSTOPB;
    }
    if ((dcb.flags & DCB_OUTX_CTS_FLOW) != 0) {
        t.c_cflag |= CRTSCTS;
    }
    if ((dcb.flags & DCB_OUTX) != 0) {
        t.c_iflag |= IXON;
    }
    if ((dcb.flags & DCB_INX) != 0) {
        t.c_iflag |= IXOFF;
    }
    if ((dcb.flags & DCB_PARITY) != 0) {
        t.c_iflag |= INPCK;
    }
    t.c_ospeed = dcb.baudRate;
    t.c_ispeed = dcb.baudRate;
}

// The descriptor is non-blocking with VMIN = VTIME = 0: reads return at
// once, writes never time out. Other time-outs are not supported.
bool SupportedTimeouts(const PortTimeouts& timeouts) {
    if (timeouts != kImmediateReads) {
        errno = EINVAL;
        return false;
    }
    return true;
}

} // namespace

namespace platform {

bool GetState(PortHandle port, DeviceControl& dcb) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        dcb = r->State();
        return r->Usable();
    }
    termios2 t{};
    if (::ioctl(Fd(port), TCGETS2, &t) != 0) {
        return false;
    }
    dcb = DeviceControl{};
    dcb.baudRate = t.c_ospeed;
    // DTR and RTS are never driven by the driver: both controls read disabled.
    dcb.flags = DCB_BINARY | DCB_TX_CONTINUE_ON_XOFF;
    if ((t.c_iflag & INPCK) != 0) {
        dcb.flags |= DCB_PARITY;
    }
    if ((t.c_cflag & CRTSCTS) != 0) {
        dcb.flags |= DCB_OUTX_CTS_FLOW | (2u << 12);
    }
    if ((t.c_iflag & IXON) != 0) {
        dcb.flags |= DCB_OUTX;
    }
    if ((t.c_iflag & IXOFF) != 0) {
        dcb.flags |= DCB_INX;
    }
    dcb.byteSize = ByteSizeOf(t.c_cflag);
    dcb.parity = ParityOf(t.c_cflag);
    dcb.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 0;
    dcb.xonChar = static_cast<char>(t.c_cc[VSTART]);
    dcb.xoffChar = static_cast<char>(t.c_cc[VSTOP]);
    dcb.eofChar = static_cast<char>(t.c_cc[VEOF]);
    return true;
}

// Applies the record and reads the rate back: a driver that silently keeps
// another rate would otherwise make every later exchange fail obscurely.
bool SetState(PortHandle port, const DeviceControl& dcb) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return r->SetState(dcb);
    }
    ForgetLineTime();
    const int fd = Fd(port);
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        return false;
    }
    ApplyControl(t, dcb);
    if (::ioctl(fd, TCSETS2, &t) != 0) {
        return false;
    }
    termios2 back{};
    if (::ioctl(fd, TCGETS2, &back) != 0) {
        return false;
    }
    if (!RateClose(dcb.baudRate, back.c_ospeed)) {
        errno = EINVAL;
        return false;
    }
    return true;
}

// Parses "COMn:rate,parity,data,stop" as a mode command would.
bool BuildState(const char* mode, DeviceControl& dcb) {
    unsigned port = 0;
    unsigned rate = 0;
    char parity = 0;
    unsigned data = 0;
    char stop[4] = {};
    if (std::sscanf(mode, "COM%u:%u,%c,%u,%3s", &port, &rate, &parity, &data, stop) != 5 ||
        data < 5 || data > 8) {
        errno = EINVAL;
        return false;
    }
    static constexpr char kParities[] = "noems";
    const char* found = nullptr;
    for (const char* p = kParities; *p != '\0'; ++p) {
        if (*p == (parity | 0x20)) {
            found = p;
        }
    }
    const std::string_view stopText(stop);
    if (found == nullptr || (stopText != "1" && stopText != "1.5" && stopText != "2")) {
        errno = EINVAL;
        return false;
    }
    dcb = DeviceControl{};
    dcb.baudRate = rate;
    dcb.flags = DCB_BINARY;
    dcb.byteSize = static_cast<uint8_t>(data);
    dcb.parity = static_cast<uint8_t>(found - kParities);
    dcb.stopBits = stopText == "1" ? 0 : stopText == "2" ? 2 : 1;
    return true;
}

bool SetTimeouts(PortHandle port, const PortTimeouts& timeouts) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return SupportedTimeouts(timeouts) && r->Usable();
    }
    termios2 t{};
    if (::ioctl(Fd(port), TCGETS2, &t) != 0) {
        return false;
    }
    return SupportedTimeouts(timeouts);
}

bool GetTimeouts(PortHandle port, PortTimeouts& timeouts) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        timeouts = kImmediateReads;
        return r->Usable();
    }
    termios2 t{};
    if (::ioctl(Fd(port), TCGETS2, &t) != 0) {
        return false;
    }
    timeouts = kImmediateReads;
    return true;
}

} // namespace platform
