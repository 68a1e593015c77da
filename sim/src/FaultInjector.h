// Seeded line and monitor faults. Runs on the board thread only; the same
// seed and the same traffic give the same faults.
#pragma once

#include <vtarget/Board.h>

#include <cstdint>
#include <random>
#include <vector>

namespace vtarget {

class FaultInjector {
  public:
    explicit FaultInjector(const FaultOptions& options);

    // One byte crossing the line in either direction: false when it is
    // lost, otherwise one of its bits may have flipped.
    bool PassByte(uint8_t& byte);
    // Whether the monitor has gone silent by this valid mail (0: the first).
    bool SilentFor(uint64_t mailIndex) const;
    // Whether the next confirm carries status 0; counts it.
    bool RefuseConfirm();
    // May replace the answer's primitive code by the next answer code.
    void MaybeWrongPrimitive(std::vector<uint8_t>& payload);

  private:
    // Rates of 0 and 1 decide without drawing, so they are exact.
    bool Chance(double rate);

    FaultOptions options_;
    std::mt19937_64 random_;
    uint64_t confirms_ = 0;
};

} // namespace vtarget
