// The line of a remote port: opening the connection and, over telnet, the
// handshake, the line settings, the control lines and the purge, each a
// COM-PORT-OPTION command. A server may leave a command unanswered (ser2net
// does for DTR and RTS on a pseudo-terminal): the answer is waited for
// briefly, a missing one traced once and not waited for again.
#include "serial/RateTolerance.h"
#include "serial/RemoteConnect.h"
#include "serial/RemotePort.h"

#include "frame/Trace.h"

#include <cerrno>

namespace remote {

namespace {

constexpr const char* kModuleName = "RemoteLine";

using telnet::ComPort;

// How long the server may take to agree to the options and to tell the
// port's rate: it also shows whether the port is ours, since a server whose
// port is in use says so and closes instead.
constexpr uint32_t kHandshakeMs = 2000;
// How long a line change waits for its answer.
constexpr uint32_t kAnswerMs = 1000;
// How long a control line or the first purge waits for its answer.
constexpr uint32_t kBriefMs = 100;
// How long what arrives after a later purge is held for the purge's answer
// at most: well below the time a monitor has to answer a request, so that
// a server that leaves an answer out delays the answer behind it without
// making the request time out.
constexpr uint32_t kPurgeHoldMs = 200;

uint32_t Rate(const telnet::Bytes& value) {
    if (value.size() < 4) {
        return 0;
    }
    return uint32_t{value[0]} << 24 | uint32_t{value[1]} << 16 | uint32_t{value[2]} << 8 | value[3];
}

// The server's own words when it turns a client away ("Port already in
// use"), on one line.
std::string Printable(const telnet::Bytes& data) {
    std::string text;
    for (uint8_t b : data) {
        if (b >= 0x20 && b < 0x7F && text.size() < 120) {
            text.push_back(static_cast<char>(b));
        }
    }
    return text;
}

uint8_t ParityValue(uint8_t parity) {
    return static_cast<uint8_t>(parity + 1); // none, odd, even, mark, space
}

uint8_t StopSizeValue(uint8_t stopBits) {
    return stopBits == 0 ? 1 : stopBits == 2 ? 2 : 3; // 1, 2, 1.5
}

uint8_t ControlValue(uint32_t code) {
    switch (code) {
    case ESCAPE_SETRTS:
        return telnet::kControlRtsOn;
    case ESCAPE_CLRRTS:
        return telnet::kControlRtsOff;
    case ESCAPE_SETDTR:
        return telnet::kControlDtrOn;
    case ESCAPE_CLRDTR:
        return telnet::kControlDtrOff;
    case ESCAPE_SETBREAK:
        return telnet::kControlBreakOn;
    case ESCAPE_CLRBREAK:
        return telnet::kControlBreakOff;
    default:
        return 0;
    }
}

} // namespace

std::unique_ptr<RemotePort> RemotePort::Open(const PortAddress& address, const std::string& url,
                                             std::string& reason) {
    const int fd = ConnectTcp(address.host, address.tcpPort, kConnectTimeoutMs, reason);
    if (fd < 0) {
        return nullptr;
    }
    std::unique_ptr<RemotePort> port(new RemotePort(fd, address.kind == PortKind::Rfc2217, url));
    if (port->telnet_ && !port->Handshake(reason)) {
        const int error = errno;
        port.reset();
        errno = error;
        return nullptr;
    }
    return port;
}

bool RemotePort::Negotiated() const {
    return options_.ComPortAgreed() || options_.ComPortRefused();
}

bool RemotePort::RateKnown() const {
    return answers_[static_cast<size_t>(ComPort::SetBaudrate)] != 0;
}

bool RemotePort::Handshake(std::string& reason) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kHandshakeMs);
    bool sent = Send(options_.Start());
    if (sent && PumpUntil(deadline, &RemotePort::Negotiated) && options_.ComPortAgreed()) {
        // Rate 0 asks the server for its current rate.
        sent = Send(telnet::SetBaudrate(0));
        if (sent && PumpUntil(deadline, &RemotePort::RateKnown)) {
            line_.baudRate = Rate(answered_[static_cast<size_t>(ComPort::SetBaudrate)]);
            data_.clear();
            dataBegin_ = 0;
            return true;
        }
    }
    if (lostError_ != 0 && data_.size() > dataBegin_) {
        reason = "the server turned the connection away: " + Printable(data_);
        errno = EBUSY;
    } else if (lostError_ != 0) {
        reason = "the server closed the connection";
        errno = lostError_;
    } else if (options_.ComPortRefused()) {
        reason =
            "the server does not offer the COM-PORT-OPTION (RFC 2217); socket:// takes a raw port";
        errno = EPROTONOSUPPORT;
    } else {
        reason = "no RFC 2217 answer from the server within " +
                 std::to_string(kHandshakeMs / 1000) + " s";
        errno = ETIMEDOUT;
    }
    return false;
}

bool RemotePort::AnswerArrived() const {
    return answers_[static_cast<size_t>(awaited_)] != awaitedCount_;
}

bool RemotePort::Request(ComPort command, const telnet::Bytes& value, uint32_t waitMs,
                         bool& unanswered) {
    awaited_ = command;
    awaitedCount_ = answers_[static_cast<size_t>(command)];
    if (!Send(telnet::ComPortCommand(command, value))) {
        return false;
    }
    if (unanswered) {
        return Usable();
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    if (PumpUntil(deadline, &RemotePort::AnswerArrived)) {
        return true;
    }
    if (!Usable()) {
        return false;
    }
    unanswered = true;
    TracePrint("\n### %s: no answer to COM-PORT-OPTION command %u; not waited for again ###\n",
               url_.c_str(), static_cast<unsigned>(command));
    return true;
}

bool RemotePort::SetControl(uint8_t value) {
    bool& silent = silentControl_[(value - 1) / 3 % kControlGroups];
    return Request(ComPort::SetControl, {value}, kBriefMs, silent);
}

// Sends what differs from the line as last set, the rate always: the rate
// the server reports back must be the one asked for.
bool RemotePort::SetLine(const DeviceControl& dcb) {
    auto& rateSilent = silent_[static_cast<size_t>(ComPort::SetBaudrate)];
    const bool rateWasSilent = rateSilent;
    if (!Request(ComPort::SetBaudrate,
                 {static_cast<uint8_t>(dcb.baudRate >> 24),
                  static_cast<uint8_t>(dcb.baudRate >> 16), static_cast<uint8_t>(dcb.baudRate >> 8),
                  static_cast<uint8_t>(dcb.baudRate)},
                 kAnswerMs, rateSilent)) {
        return false;
    }
    const uint32_t actual = Rate(answered_[static_cast<size_t>(ComPort::SetBaudrate)]);
    if (!rateWasSilent && !rateSilent && !RateClose(dcb.baudRate, actual)) {
        ERROR_TRACE("RemotePort", "Error: %s set %u bit/s, not %u", url_.c_str(), actual,
                    dcb.baudRate);
        errno = EINVAL;
        return false;
    }
    const bool first = !lineSet_;
    const auto change = [&](bool differs, ComPort command, uint8_t value) {
        return !(first || differs) ||
               Request(command, {value}, kAnswerMs, silent_[static_cast<size_t>(command)]);
    };
    const bool outX = (dcb.flags & DCB_OUTX) != 0;
    return change(dcb.byteSize != line_.byteSize, ComPort::SetDatasize, dcb.byteSize) &&
           change(dcb.parity != line_.parity, ComPort::SetParity, ParityValue(dcb.parity)) &&
           change(dcb.stopBits != line_.stopBits, ComPort::SetStopsize,
                  StopSizeValue(dcb.stopBits)) &&
           (!(first || outX != ((line_.flags & DCB_OUTX) != 0)) ||
            SetControl(outX ? telnet::kControlOutboundXonXoff : telnet::kControlOutboundNone));
}

bool RemotePort::SetState(const DeviceControl& dcb) {
    if (!Usable()) {
        return false;
    }
    if (!telnet_) {
        TraceOnce(tracedFixedLine_, "raw TCP port: the line settings are the server's");
    } else if (!SetLine(dcb)) {
        return false;
    }
    line_ = dcb;
    lineSet_ = true;
    return true;
}

bool RemotePort::Escape(uint32_t code) {
    const uint8_t value = ControlValue(code);
    if (value == 0) {
        errno = EINVAL;
        return false;
    }
    if (!telnet_) {
        TraceOnce(tracedFixedControls_, "raw TCP port: the control lines are the server's");
        return Usable();
    }
    return SetControl(value);
}

// Drops the unread data; over telnet the server drops what it holds too,
// and what arrives before its answer was sent before the purge. The first
// purge waits for that answer, which shows whether the server gives one.
// Later ones do not wait: the request that follows goes out at once, and
// what arrives is held until the answer, so that a purge costs no round
// trip. A connection that has gone has nothing left to discard: refusing
// would keep it open for good, since closing the port purges first.
bool RemotePort::PurgeReceive() {
    Pump();
    data_.clear();
    dataBegin_ = 0;
    held_.clear();
    auto& silent = silent_[static_cast<size_t>(ComPort::PurgeData)];
    if (!telnet_ || lostError_ != 0 || silent) {
        return true;
    }
    purgePending_ = true;
    purgeDeadline_ = Clock::now() + std::chrono::milliseconds(kPurgeHoldMs);
    if (purgeAnswered_) {
        return Send(telnet::ComPortCommand(ComPort::PurgeData, {telnet::kPurgeReceive})) ||
               lostError_ != 0;
    }
    const bool purged = Request(ComPort::PurgeData, {telnet::kPurgeReceive}, kBriefMs, silent);
    if (purgePending_) { // unanswered: what came meanwhile is data
        purgePending_ = false;
        data_.insert(data_.end(), held_.begin(), held_.end());
        held_.clear();
    }
    return purged || lostError_ != 0;
}

} // namespace remote
