// Seeded line and monitor faults. Runs on the board thread only; the same
// seed and the same traffic give the same faults. Each direction of the
// line and the monitor draw from streams of their own, so that how the
// PC's bytes happen to be split into reads changes nothing.
#pragma once

#include <vtarget/Board.h>

#include <cstdint>
#include <random>
#include <vector>

namespace vtarget {

class FaultInjector {
  public:
    explicit FaultInjector(const FaultOptions& options);

    // One byte crossing the line from the PC, or to it: false when it is
    // lost, otherwise one of its bits may have flipped.
    bool PassIncoming(uint8_t& byte) { return PassByte(incoming_, byte); }
    bool PassOutgoing(uint8_t& byte) { return PassByte(outgoing_, byte); }
    // Whether the monitor has gone silent by this valid mail (0: the first).
    bool SilentFor(uint64_t mailIndex) const;
    // Whether the next confirm carries status 0; counts it.
    bool RefuseConfirm();
    // Whether the next answer goes out with a wrong primitive code; the
    // monitor picks the code.
    bool WrongPrimitive();

  private:
    bool PassByte(std::mt19937_64& random, uint8_t& byte);
    // Rates of 0 and 1 decide without drawing, so they are exact.
    static bool Chance(std::mt19937_64& random, double rate);

    FaultOptions options_;
    std::mt19937_64 incoming_;
    std::mt19937_64 outgoing_;
    std::mt19937_64 monitor_;
    uint64_t confirms_ = 0;
};

} // namespace vtarget
