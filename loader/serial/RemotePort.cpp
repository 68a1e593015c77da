#include "serial/RemotePort.h"

#include "frame/Trace.h"
#include "serial/PosixWaits.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace remote {

namespace {

constexpr const char* kModuleName = "RemotePort";

// Unread line data kept at most: more than the driver's receive queue. A
// server that floods beyond it loses the excess, as a full UART would.
constexpr size_t kMaxUnread = 1 << 20;
constexpr size_t kReceiveChunk = 4096;

} // namespace

using platform::MillisecondsLeft;

RemotePort::RemotePort(int fd, bool telnet, std::string url)
    : fd_(fd), telnet_(telnet), url_(std::move(url)) {
    line_.flags = DCB_BINARY | DCB_TX_CONTINUE_ON_XOFF;
}

RemotePort::~RemotePort() {
    ::close(fd_);
}

bool RemotePort::Usable() const {
    if (lostError_ != 0) {
        errno = lostError_;
        return false;
    }
    return true;
}

void RemotePort::Lost(int error) {
    if (lostError_ == 0) {
        lostError_ = error;
        ERROR_TRACE("RemotePort", "Error: %s: %s", url_.c_str(), std::strerror(error));
    }
}

void RemotePort::ReleaseIfOverdue() {
    if (!purgePending_ || Clock::now() < purgeDeadline_) {
        return;
    }
    purgePending_ = false;
    data_.insert(data_.end(), held_.begin(), held_.end());
    held_.clear();
    TraceOnce(tracedPurgeLost_, "a purge went unanswered; what came after it counts as data");
}

// A wait ends at its deadline, or earlier when held data falls due.
int RemotePort::PollTimeout(Clock::time_point deadline) const {
    return MillisecondsLeft(purgePending_ ? std::min(deadline, purgeDeadline_) : deadline);
}

void RemotePort::Take(const uint8_t* bytes, size_t count) {
    if (!telnet_) {
        data_.insert(data_.end(), bytes, bytes + count);
        return;
    }
    std::vector<telnet::Command> commands;
    // While a purge waits for its answer, the stream is taken a byte at a
    // time, so that what comes after the answer is told from what came
    // before it.
    for (size_t i = 0; i < count;) {
        const bool held = purgePending_;
        const size_t step = held ? 1 : count - i;
        receiver_.Feed(bytes + i, step, held ? held_ : data_, commands);
        i += step;
        for (const telnet::Command& c : commands) {
            Handle(c);
        }
        commands.clear();
    }
}

void RemotePort::Handle(const telnet::Command& command) {
    if (command.kind == telnet::Command::Kind::Negotiation) {
        Send(options_.Answer(command.code, command.option));
        return;
    }
    // The server's answers are counted and kept; its notifications (line
    // and modem state) are read and left.
    const std::optional<telnet::ComPortAnswer> answer = telnet::AnswerOf(command);
    if (!answer) {
        return;
    }
    const auto code = static_cast<size_t>(answer->command);
    ++answers_[code];
    answered_[code] = answer->value;
    if (answer->command == telnet::ComPort::PurgeData && purgePending_) {
        purgePending_ = false;
        purgeAnswered_ = true;
        held_.clear();
    }
}

// A server that sends with Nagle's algorithm (ser2net does unless told
// tcp(nodelay)) holds the rest of an answer until its first piece is
// acknowledged, and while the library waits for that rest it sends nothing
// the acknowledgement could ride on: the kernel delays it up to 40 ms.
// Linux clears quick acknowledgement after a while, so it is asked for
// again after every receive.
void RemotePort::AcknowledgeAtOnce() {
    const int on = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

bool RemotePort::Pump() {
    if (lostError_ != 0) {
        return false;
    }
    uint8_t chunk[kReceiveChunk];
    for (;;) {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            AcknowledgeAtOnce();
            Take(chunk, static_cast<size_t>(n));
            continue;
        }
        if (n == 0) {
            Lost(ECONNRESET);
            return false;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        }
        Lost(errno);
        return false;
    }
    if (held_.size() > kMaxUnread) {
        held_.resize(kMaxUnread);
    }
    ReleaseIfOverdue();
    if (data_.size() - dataBegin_ > kMaxUnread) {
        TraceOnce(tracedOverflow_, "more unread data than the receive queue holds; dropped");
        data_.resize(dataBegin_ + kMaxUnread);
    }
    return true;
}

// Reads until done() holds or the time is up; false when it did not hold.
bool RemotePort::PumpUntil(Clock::time_point deadline, bool (RemotePort::*done)() const) {
    pollfd p{fd_, POLLIN, 0};
    while (Pump() && !(this->*done)()) {
        const int ready = ::poll(&p, 1, PollTimeout(deadline));
        if (ready == 0 && Clock::now() >= deadline) {
            return false;
        }
        if (ready < 0 && errno != EINTR) {
            Lost(errno);
        }
    }
    return lostError_ == 0;
}

bool RemotePort::AwaitWritable() {
    // What the server sends meanwhile is taken, so that neither side waits
    // on the other with full buffers.
    pollfd p{fd_, POLLIN | POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&p, 1, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready < 0) {
            Lost(errno);
            return false;
        }
        if ((p.revents & POLLIN) != 0 && !Pump()) {
            return false;
        }
        if ((p.revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
            return true;
        }
    }
}

bool RemotePort::SendAll(const uint8_t* bytes, size_t count) {
    size_t sent = 0;
    while (sent < count) {
        if (!Usable()) {
            return false;
        }
        const ssize_t n = ::send(fd_, bytes + sent, count - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            Lost(errno);
            return false;
        }
        if (!AwaitWritable()) {
            return false;
        }
    }
    return true;
}

bool RemotePort::Send(const telnet::Bytes& bytes) {
    return bytes.empty() || SendAll(bytes.data(), bytes.size());
}

// Returns once the bytes would have left the line at its rate: a start
// bit, eight data bits and one or two stop bits each, as on a local
// pseudo-terminal.
bool RemotePort::Write(const uint8_t* bytes, uint32_t count, uint32_t& written) {
    written = 0;
    const auto start = Clock::now();
    const bool sent = telnet_ ? Send(telnet::Escape(bytes, count)) : SendAll(bytes, count);
    if (!sent) {
        return false;
    }
    written = count;
    if (line_.baudRate != 0) {
        const uint64_t bits = line_.stopBits != 0 ? 11 : 10;
        std::this_thread::sleep_until(
            start + std::chrono::microseconds(count * bits * 1000000 / line_.baudRate));
    }
    return true;
}

// Never waits: what has arrived, possibly nothing. A connection that has
// gone fails once what it delivered is read.
bool RemotePort::Read(uint8_t* buffer, uint32_t capacity, uint32_t& read) {
    read = 0;
    if (data_.size() == dataBegin_) {
        Pump();
    }
    const size_t unread = data_.size() - dataBegin_;
    if (unread == 0) {
        data_.clear();
        dataBegin_ = 0;
        return Usable();
    }
    read = static_cast<uint32_t>(std::min<size_t>(capacity, unread));
    std::memcpy(buffer, data_.data() + dataBegin_, read);
    dataBegin_ += read;
    if (dataBegin_ == data_.size() || dataBegin_ > kMaxUnread) {
        data_.erase(data_.begin(), data_.begin() + static_cast<ptrdiff_t>(dataBegin_));
        dataBegin_ = 0;
    }
    return true;
}

// Readable once line data is there or the connection has gone (the read
// that follows reports it); telnet commands alone wake it but do not count.
WaitResult RemotePort::WaitReadable(uint32_t timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    pollfd p{fd_, POLLIN, 0};
    for (;;) {
        Pump();
        if (data_.size() > dataBegin_ || lostError_ != 0) {
            return WaitResult::Readable;
        }
        const int ready = ::poll(&p, 1, PollTimeout(deadline));
        if (ready == 0 && Clock::now() >= deadline) {
            return WaitResult::TimedOut;
        }
        if (ready < 0 && errno != EINTR) {
            return WaitResult::Failed;
        }
    }
}

void RemotePort::TraceOnce(bool& traced, const char* what) {
    if (!traced) {
        traced = true;
        TracePrint("\n### %s: %s ###\n", url_.c_str(), what);
    }
}

} // namespace remote
