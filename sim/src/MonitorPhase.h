// The monitor running: mail frames in, answers out, over the shared memory.
#pragma once

#include "BoardShared.h"
#include "FaultInjector.h"
#include "MailLink.h"
#include "Monitor.h"
#include "Phase.h"

namespace vtarget {

class MonitorPhase final : public Phase {
  public:
    MonitorPhase(BoardShared& shared, FaultInjector& faults, const MonitorSettings& settings);

    void Receive(uint8_t byte, Clock::time_point at, std::vector<Reply>& replies) override;
    bool MidMessage() const override { return parser_.MidFrame(); }
    void LineQuiet(Clock::time_point now, std::vector<Reply>& replies) override;

  private:
    MailParser::FrameSink SinkFor(Clock::time_point at, std::vector<Reply>& replies);
    void Handle(const MailFrame& frame, Clock::time_point at, std::vector<Reply>& replies);
    void CountParserDrops();

    BoardShared& shared_;
    FaultInjector& faults_;
    MailParser parser_;
    Monitor monitor_;
    uint64_t validMails_ = 0;
    uint64_t parserDropsCounted_ = 0;
};

} // namespace vtarget
