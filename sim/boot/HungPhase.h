// A board that jumped into a program that is not its monitor: silent, and
// deaf to everything until it is restarted.
#pragma once

#include "line/Phase.h"

namespace vtarget {

class HungPhase final : public Phase {
  public:
    void Receive(const RxByte& /*byte*/, std::vector<Reply>& /*replies*/) override {}
};

} // namespace vtarget
