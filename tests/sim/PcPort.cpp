#include "PcPort.h"

#include "PcRate.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

} // namespace

PcPort::~PcPort() {
    Close();
}

bool PcPort::Open(const std::string& path, uint32_t baudRate, bool twoStopBits) {
    Close();
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) {
        return false;
    }
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(fd_, TCSANOW, &tio) != 0 || !SetRate(baudRate, twoStopBits)) {
        Close();
        return false;
    }
    tcflush(fd_, TCIOFLUSH);
    return true;
}

void PcPort::Close() {
    if (fd_ >= 0) {
        close(fd_);
        fd_ = -1;
    }
}

bool PcPort::SetRate(uint32_t baudRate, bool twoStopBits) {
    return SetPortRate(fd_, baudRate, twoStopBits);
}

bool PcPort::SetXonXoff(bool on) {
    return SetPortXonXoff(fd_, on);
}

bool PcPort::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (done < bytes.size()) {
        const ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        pollfd out{fd_, POLLOUT, 0};
        if (poll(&out, 1, MillisecondsLeft(deadline)) == 0) {
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> PcPort::Read(size_t count, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> bytes;
    const auto deadline = Clock::now() + timeout;
    while (bytes.size() < count) {
        pollfd in{fd_, POLLIN, 0};
        if (poll(&in, 1, MillisecondsLeft(deadline)) <= 0 || (in.revents & POLLIN) == 0) {
            break;
        }
        uint8_t buffer[4096];
        const size_t wanted = std::min(sizeof buffer, count - bytes.size());
        const ssize_t n = read(fd_, buffer, wanted);
        if (n <= 0) {
            break;
        }
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
    return bytes;
}

std::vector<uint8_t> PcPort::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    std::vector<uint8_t> bytes;
    for (;;) {
        const auto more = Read(4096, quiet);
        if (more.empty()) {
            return bytes;
        }
        bytes.insert(bytes.end(), more.begin(), more.end());
    }
}

bool PcPort::SeesHangUp(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Clock::now() < deadline) {
        pollfd in{fd_, POLLIN, 0};
        if (poll(&in, 1, MillisecondsLeft(deadline)) <= 0) {
            return false;
        }
        if ((in.revents & POLLHUP) != 0) {
            return true;
        }
        uint8_t byte;
        if (read(fd_, &byte, 1) < 0 && errno == EIO) {
            return true;
        }
    }
    return false;
}
