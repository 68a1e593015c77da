// The resident boot loader of the ATmega targets. It speaks the monitor's
// mails from the start, version and rate change included, and answers the
// PC's wake mail with one raw byte. Programming its flash comes later;
// until then the other requests act as on the monitor.
#pragma once

#include "monitor/MonitorPhase.h"

namespace vtarget {

class AtmegaBootPhase final : public MonitorPhase {
  public:
    using MonitorPhase::MonitorPhase;

  protected:
    std::optional<std::vector<uint8_t>> OwnAnswer(std::span<const uint8_t> payload) const override;
};

} // namespace vtarget
