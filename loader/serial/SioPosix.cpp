// The serial port on Linux: device open and close, raw reads and writes,
// purges, the modem and break lines, and waiting for input. The line
// settings (termios2) are in SioPosixLine.cpp.
#include "frame/PortPaths.h"
#include "serial/OpenFailure.h"
#include "serial/PortAddress.h"
#include "serial/PosixWaits.h"
#include "serial/RemotePorts.h"
#include "serial/SioPlatform.h"
#include "serial/SioPosixLatency.h"
#include "serial/SioPosixLineTime.h"

#include <algorithm>
#include <asm/termbits.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

// COM n is the path the host mapped to it, else the one in ULVEX_COM<n>,
// else the n-th standard UART.
std::string DevicePath(uint8_t port) {
    if (std::optional<std::string> mapped = MappedPortPath(port)) {
        return *mapped;
    }
    const std::string variable = "ULVEX_COM" + std::to_string(port);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') {
        return path;
    }
    return "/dev/ttyS" + std::to_string(port - 1);
}

int Fd(PortHandle port) {
    return static_cast<int>(port);
}

// Waits until the descriptor accepts more output; EINTR restarts the wait.
bool WaitWritable(int fd) {
    pollfd p{fd, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, -1);
        if (ready > 0) {
            return (p.revents & POLLNVAL) == 0;
        }
        if (ready < 0 && errno != EINTR) {
            return false;
        }
    }
}

bool WriteAll(int fd, const uint8_t* bytes, uint32_t count, uint32_t& written) {
    written = 0;
    while (written < count) {
        const ssize_t n = ::write(fd, bytes + written, count - written);
        if (n > 0) {
            written += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            return false;
        }
        if (!WaitWritable(fd)) {
            return false;
        }
    }
    return true;
}

bool Drain(int fd) {
    while (::ioctl(fd, TCSBRK, 1) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

// Whether the far end has gone for good: the master of a pseudo-terminal
// closed (a board program ended), a USB adapter unplugged. Such a tty reads
// end-of-file and refuses writes and flushes from then on.
bool HungUp(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP) != 0;
}

// Exclusive access: TIOCEXCL keeps other openers out of the tty, flock
// keeps out other programs that lock, which TIOCEXCL does not stop for root.
PortHandle OpenDevice(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return kNoPort;
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        platform::CloseKeepingErrno(fd);
        return kNoPort;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        errno = EBUSY;
        platform::CloseKeepingErrno(fd);
        return kNoPort;
    }
    // Linux raises DTR and RTS on open; only the access-port rules may
    // raise them. A pseudo-terminal has no modem lines and refuses.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    const int saved = errno;
    ::ioctl(fd, TIOCMBIC, &lines);
    errno = saved;
    if (!platform::IsPseudoTerminal(fd)) {
        platform::RequestLowLatency(fd);
    }
    return fd;
}

} // namespace

namespace platform {

// COM n is a device path, an rfc2217:// or a socket:// port; a failure is
// noted with the reason.
PortHandle Open(uint8_t port) {
    const std::string path = DevicePath(port);
    ForgetLineTime(); // the descriptor may be one closed before
    const PortAddress address = ParsePortAddress(path);
    std::string reason;
    PortHandle handle = kNoPort;
    if (!address.error.empty()) {
        reason = address.error;
        errno = EINVAL;
    } else if (address.kind != PortKind::Device) {
        handle = remote::OpenPort(address, path, reason);
    } else {
        handle = OpenDevice(path);
        reason = std::strerror(errno);
    }
    if (handle == kNoPort) {
        const int error = errno;
        NoteOpenFailure(port, path, reason);
        errno = error;
    }
    return handle;
}

// Linux sizes the tty buffers itself; there is nothing to set, only the
// handle to check.
bool SetupQueues(PortHandle port, uint32_t, uint32_t) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return r->Usable();
    }
    return ::fcntl(Fd(port), F_GETFD) != -1;
}

// Clears the receive side. The transmit side has nothing to discard: every
// write has drained before it returned. Flushing it anyway would, on a
// pseudo-terminal, throw away bytes the peer has not read yet, which on a
// real line would already have arrived.
bool Purge(PortHandle port, uint32_t flags) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return (flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0 ? r->PurgeReceive() : r->Usable();
    }
    if ((flags & (PURGE_RXABORT | PURGE_RXCLEAR)) != 0) {
        // A hung-up device has nothing left to discard. Refusing would keep
        // it open for good: closing the port purges first.
        return ::ioctl(Fd(port), TCFLSH, TCIFLUSH) == 0 || HungUp(Fd(port));
    }
    return ::fcntl(Fd(port), F_GETFD) != -1;
}

// Line errors are not latched on Linux; only the handle is checked.
bool ClearErrors(PortHandle port) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return r->Usable();
    }
    return ::fcntl(Fd(port), F_GETFD) != -1;
}

bool Escape(PortHandle port, uint32_t code) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return r->Escape(code);
    }
    const int fd = Fd(port);
    const int dtr = TIOCM_DTR;
    const int rts = TIOCM_RTS;
    switch (code) {
    case ESCAPE_SETRTS:
        return ::ioctl(fd, TIOCMBIS, &rts) == 0;
    case ESCAPE_CLRRTS:
        return ::ioctl(fd, TIOCMBIC, &rts) == 0;
    case ESCAPE_SETDTR:
        return ::ioctl(fd, TIOCMBIS, &dtr) == 0;
    case ESCAPE_CLRDTR:
        return ::ioctl(fd, TIOCMBIC, &dtr) == 0;
    case ESCAPE_SETBREAK:
        return ::ioctl(fd, TIOCSBRK) == 0;
    case ESCAPE_CLRBREAK:
        return ::ioctl(fd, TIOCCBRK) == 0;
    default:
        errno = EINVAL;
        return false;
    }
}

// Returns once the bytes have left: write, then drain the UART. A
// pseudo-terminal has no transmitter and drains at once, so the time the
// bytes would take on the line is waited here; deadlines that start after
// a send then mean the same as on a real port.
bool Write(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t& written) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return r->Write(bytes, count, written);
    }
    const int fd = Fd(port);
    const auto start = std::chrono::steady_clock::now();
    if (!WriteAll(fd, bytes, count, written)) {
        return false;
    }
    if (const auto lineTime = PseudoLineTime(fd, count)) {
        std::this_thread::sleep_until(start + *lineTime);
        return true;
    }
    return Drain(fd);
}

bool Read(PortHandle port, uint8_t* buffer, uint32_t capacity, uint32_t& read) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return r->Read(buffer, capacity, read);
    }
    read = 0;
    for (;;) {
        const ssize_t n = ::read(Fd(port), buffer, capacity);
        if (n == 0 && HungUp(Fd(port))) {
            // With VMIN = VTIME = 0 an empty read is normal; after a hang-up
            // every read is empty, and waiting for data would only spin.
            errno = EIO;
            return false;
        }
        if (n >= 0) {
            read = static_cast<uint32_t>(n);
            return true;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return true;
        }
        if (errno != EINTR) {
            return false;
        }
    }
}

// A hang-up or error counts as readable: the read that follows reports it.
WaitResult WaitReadable(PortHandle port, uint32_t timeoutMs) {
    if (remote::RemotePort* r = remote::FindPort(port)) {
        return r->WaitReadable(timeoutMs);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd p{Fd(port), POLLIN, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, MillisecondsLeft(deadline));
        if (ready > 0) {
            if ((p.revents & POLLNVAL) != 0) {
                errno = EBADF;
                return WaitResult::Failed;
            }
            return WaitResult::Readable;
        }
        if (ready == 0) {
            return WaitResult::TimedOut;
        }
        if (errno != EINTR) {
            return WaitResult::Failed;
        }
    }
}

// TIOCEXCL stays on a tty that another descriptor keeps open; clear it so
// that a later open by an ordinary user is not refused.
bool Close(PortHandle port) {
    if (remote::FindPort(port) != nullptr) {
        remote::ClosePort(port);
        return true;
    }
    ForgetLineTime();
    const int fd = Fd(port);
    RestoreLatency(fd);
    ::ioctl(fd, TIOCNXCL);
    return ::close(fd) == 0;
}

uint32_t LastError() {
    return static_cast<uint32_t>(errno);
}

void SetInjectedError() {
    errno = EIO;
}

} // namespace platform
