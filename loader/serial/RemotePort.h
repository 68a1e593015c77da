// A remote port: the board's line served over TCP by a port server. With
// rfc2217:// the connection speaks telnet and sets the server's line with
// the COM-PORT-OPTION; with socket:// it carries the line's bytes as they
// are and the server's settings stay. Either way the driver sees what a
// local port gives it: writes that return once the bytes would have left
// the line at its rate, reads that never wait, a readable-wait, a purge of
// the receive side, and the line settings.
//
// RemotePort.cpp holds the connection's bytes, RemoteLine.cpp the line
// settings, control lines, purge and the opening handshake.
#pragma once

#include "serial/PortAddress.h"
#include "serial/SioPlatform.h"
#include "serial/Telnet.h"
#include "serial/TelnetOptions.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace remote {

class RemotePort {
  public:
    // Connects and, for rfc2217://, negotiates the options and makes sure the
    // server gave this client the port. Nothing with errno set and why in
    // reason when it cannot.
    static std::unique_ptr<RemotePort> Open(const PortAddress& address, const std::string& url,
                                            std::string& reason);
    ~RemotePort();
    RemotePort(const RemotePort&) = delete;
    RemotePort& operator=(const RemotePort&) = delete;

    int Fd() const { return fd_; }

    const DeviceControl& State() const { return line_; }
    bool SetState(const DeviceControl& dcb);
    bool Escape(uint32_t code);
    // Drops what the board sent so far, here and in the server.
    bool PurgeReceive();

    bool Write(const uint8_t* bytes, uint32_t count, uint32_t& written);
    bool Read(uint8_t* buffer, uint32_t capacity, uint32_t& read);
    WaitResult WaitReadable(uint32_t timeoutMs);
    // Whether the connection still works; errno tells why not.
    bool Usable() const;

  private:
    using Clock = std::chrono::steady_clock;
    // Commands of the COM-PORT-OPTION, by code (1 to 12).
    static constexpr size_t kCommands = 13;
    // SET-CONTROL values come in groups of three (ask, on, off) per line.
    static constexpr size_t kControlGroups = 7;

    RemotePort(int fd, bool telnet, std::string url);

    bool Handshake(std::string& reason);
    // Reads what has arrived without waiting; false once the connection is gone.
    bool Pump();
    void AcknowledgeAtOnce();
    bool PumpUntil(Clock::time_point deadline, bool (RemotePort::*done)() const);
    void Take(const uint8_t* bytes, size_t count);
    void ReleaseIfOverdue();
    int PollTimeout(Clock::time_point deadline) const;
    void Handle(const telnet::Command& command);
    bool Send(const telnet::Bytes& bytes);
    bool SendAll(const uint8_t* bytes, size_t count);
    bool AwaitWritable();
    void Lost(int error);

    // A COM-PORT-OPTION command and, briefly, its answer.
    bool Request(telnet::ComPort command, const telnet::Bytes& value, uint32_t waitMs,
                 bool& unanswered);
    bool SetControl(uint8_t value);
    bool SetLine(const DeviceControl& dcb);
    void TraceOnce(bool& traced, const char* what);
    bool AnswerArrived() const;
    bool Negotiated() const;
    bool RateKnown() const;

    int fd_ = -1;
    bool telnet_ = false;
    std::string url_;
    telnet::Receiver receiver_;
    telnet::Options options_;
    telnet::Bytes data_; // line data not read yet, from dataBegin_
    size_t dataBegin_ = 0;
    // While a purge waits for the server's answer, what arrives is held in
    // held_: the part ahead of the answer was sent before the purge and is
    // dropped with the answer. A server may leave an answer out (ser2net
    // answers some of a burst of purges only): at the deadline what is held
    // counts as data, as late bytes on a local line would.
    bool purgePending_ = false;
    telnet::Bytes held_;
    Clock::time_point purgeDeadline_{};
    bool purgeAnswered_ = false; // the server has answered a purge before
    bool tracedPurgeLost_ = false;
    int lostError_ = 0; // non-zero once the connection is gone
    DeviceControl line_;
    bool lineSet_ = false;

    std::array<uint32_t, kCommands> answers_{};       // answers received, by command
    std::array<telnet::Bytes, kCommands> answered_{}; // the last answer's value
    telnet::ComPort awaited_ = telnet::ComPort::SetBaudrate;
    uint32_t awaitedCount_ = 0;
    std::array<bool, kCommands> silent_{}; // the server left it unanswered once
    std::array<bool, kControlGroups> silentControl_{};
    bool tracedFixedLine_ = false;
    bool tracedFixedControls_ = false;
    bool tracedOverflow_ = false;
};

} // namespace remote
