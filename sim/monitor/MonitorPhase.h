// The monitor running: mail frames in, answers out, over the shared memory.
#pragma once

#include "line/FaultInjector.h"
#include "line/Phase.h"
#include "monitor/MailLink.h"
#include "monitor/Monitor.h"
#include "state/BoardShared.h"

#include <span>

namespace vtarget {

class MonitorPhase : public Phase {
  public:
    MonitorPhase(BoardShared& shared, FaultInjector& faults, const MonitorSettings& settings);

    void Receive(const RxByte& byte, std::vector<Reply>& replies) override;
    bool MidMessage() const override { return parser_.MidFrame(); }
    void LineQuiet(Clock::time_point now, std::vector<Reply>& replies) override;

  protected:
    // A request that a program speaking the monitor's mails answers itself,
    // besides the monitor's own: the raw bytes that go back. Nothing for
    // every other request.
    virtual std::optional<std::vector<uint8_t>>
    OwnAnswer(std::span<const uint8_t> /*payload*/) const {
        return std::nullopt;
    }

  private:
    MailParser::FrameSink SinkFor(Clock::time_point at, std::vector<Reply>& replies);
    void Handle(const MailFrame& frame, Clock::time_point at, std::vector<Reply>& replies);
    void Answer(const MailFrame& frame, const std::optional<std::vector<uint8_t>>& override,
                std::vector<Reply>& replies);
    void CountParserDrops();

    BoardShared& shared_;
    FaultInjector& faults_;
    MailParser parser_;
    Monitor monitor_;
    uint64_t validMails_ = 0;
    uint64_t parserDropsCounted_ = 0;
};

} // namespace vtarget
