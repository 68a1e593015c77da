// The Ombrel device's boot loader. After its restart it sends its prompt,
// one byte at a time, then takes block frames: a new block is stored and
// acknowledged, the block before it (the PC missed the answer) only
// acknowledged again; frames with a wrong CRC, a bad count or another
// number go unanswered. Once the last block (FF00h) is in, it runs the file:
// the board restarts from 0 and, after the program's start-up time, the run
// text goes out. A line quiet for long also ends the boot loader, so that a
// cancelled load leaves the device ready for the next reset.
#pragma once

#include "line/Phase.h"
#include "state/BoardShared.h"

#include <vtarget/Board.h>

#include <vector>

namespace vtarget {

class OmbrelLoaderPhase final : public Phase {
  public:
    OmbrelLoaderPhase(const OmbrelOptions& options, BoardShared& shared, Clock::time_point now);

    void Receive(const RxByte& byte, std::vector<Reply>& replies) override;
    bool MidMessage() const override { return !frame_.empty(); }
    void LineQuiet(Clock::time_point now, std::vector<Reply>& replies) override;
    std::optional<Clock::time_point> NextDeadline() const override;
    void OnTimer(Clock::time_point now, std::vector<Reply>& replies) override;
    std::optional<Stage> Handover() const override;

  private:
    enum class Kind { Prompt, Answer, Run };
    struct Pending {
        Clock::time_point due;
        std::vector<uint8_t> bytes;
        Kind kind;
    };

    void TakeFrame(Clock::time_point at, std::vector<Reply>& replies);
    // Whether the block gets an answer: a new one (stored) or the last one again.
    bool Store(uint16_t block, std::span<const uint8_t> data, Clock::time_point at);
    // The fault that hits this frame of the block, if any; counts it.
    OmbrelFault FaultFor(uint16_t block);
    void Answer(uint16_t block, OmbrelFault fault, Clock::time_point at,
                std::vector<Reply>& replies);
    void DropFrame();
    void SendDue(Clock::time_point now, std::vector<Reply>& replies);

    OmbrelOptions options_;
    BoardShared& shared_;
    std::vector<Pending> outbox_;
    std::vector<uint8_t> frame_;
    std::vector<uint8_t> file_;
    uint32_t blocksStored_ = 0;
    bool complete_ = false;
    int64_t faultsLeft_;
    Clock::time_point lastActivity_;
    bool ended_ = false;
};

} // namespace vtarget
