// The Ombrel device (vtarget --ombrel). Its application runs until the PC
// sends the reset sequence, then its boot loader (OmbrelLoader.h) takes
// over; once the boot loader has the whole file it runs it, and the
// application, which stands for that file, waits for the next reset.
#pragma once

#include "line/Phase.h"
#include "state/BoardShared.h"

#include <vtarget/Board.h>

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vtarget {

// The device's program at a stage: BootLoader is its boot loader, every
// other stage its application.
std::unique_ptr<Phase> MakeOmbrelPhase(Stage stage, const OmbrelOptions& options,
                                       BoardShared& shared, Clock::time_point now);

// bad-crc, wrong-block, silent, lead-byte, extra-byte or split.
std::optional<OmbrelFault> OmbrelFaultNamed(std::string_view name);

// The received file as it came, for --dump.
bool WriteOmbrelFile(const std::string& path, const std::vector<uint8_t>& bytes);

class OmbrelApplicationPhase final : public Phase {
  public:
    void Receive(const RxByte& byte, std::vector<Reply>& replies) override;
    std::optional<Stage> Handover() const override;

  private:
    std::deque<uint8_t> recent_; // the last bytes, as many as the reset sequence has
    bool reset_ = false;
};

} // namespace vtarget
