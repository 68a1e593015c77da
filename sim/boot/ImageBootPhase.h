// The boot loaders that take a binary monitor image: the chip boot loader
// and the ARM boot loader. Idle, they prompt every 250 ms. The PC answers
// with 0x01 and the image length (low byte first); the boot loader
// acknowledges, takes that many bytes and answers their XOR. The PC's 0x06
// within 500 ms starts the image; anything else, or nothing, sends the boot
// loader back to idle.
#pragma once

#include "line/Phase.h"
#include "state/BoardShared.h"

namespace vtarget {

struct ImageBootSettings {
    uint8_t imageKind = 0; // the kind its monitor's header must carry
    uint8_t prompt = 0x02;
    // Silence before prompting again after a download that did not start,
    // counted from when the checksum was due (or from giving up an image
    // that stopped arriving). It keeps the prompt out of the PC's wait for
    // the checksum and inside its fresh wait for the prompt when it retries.
    Clock::duration holdOff{};
    int withheldChecksums = 0; // checksum answers kept back before answering normally
    bool refuseHeader = false; // answer the header with 0x15 and stay idle
};

class ImageBootPhase final : public Phase {
  public:
    ImageBootPhase(BoardShared& shared, const ImageBootSettings& settings, Clock::time_point start);

    void Receive(const RxByte& byte, std::vector<Reply>& replies) override;
    std::optional<Clock::time_point> NextDeadline() const override;
    void OnTimer(Clock::time_point now, std::vector<Reply>& replies) override;
    std::optional<Stage> Handover() const override { return handover_; }

  private:
    // What the deadline means in each state: the next prompt; the time an
    // image that stopped arriving is given up; the time the image has been
    // taken; the end of the window for the PC's 0x06.
    enum class State { Idle, Header, Image, Taking, Window };

    void TakeLength(const RxByte& byte, std::vector<Reply>& replies);
    void TakeImageByte(const RxByte& byte);
    void AnswerChecksum(Clock::time_point now, std::vector<Reply>& replies);
    void TakeAcknowledge(const RxByte& byte);
    void BackToIdle(Clock::time_point quietUntil, Clock::time_point now);

    BoardShared& shared_;
    ImageBootSettings settings_;
    State state_ = State::Idle;
    Clock::time_point deadline_;
    Clock::time_point idleSince_; // since when the boot loop has waited for a header
    std::vector<uint8_t> lengthBytes_;
    size_t length_ = 0;
    std::vector<uint8_t> image_;
    Clock::time_point imageStart_;
    Clock::time_point checksumDue_;
    int withheldLeft_;
    std::optional<Stage> handover_;
};

} // namespace vtarget
