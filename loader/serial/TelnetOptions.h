// Option negotiation of a remote port's telnet connection, the client's
// side: it asks for BINARY both ways, SUPPRESS-GO-AHEAD both ways and the
// COM-PORT-OPTION, answers the server's requests, refuses every other
// option, and never answers a request it has already agreed to, so that
// two peers cannot loop.
#pragma once

#include "serial/Telnet.h"

#include <array>

namespace telnet {

class Options {
  public:
    // What the client sends first.
    Bytes Start();
    // The answer to one negotiation the server sent (possibly nothing).
    Bytes Answer(uint8_t verb, uint8_t option);

    // Whether the server agreed to the COM-PORT-OPTION; without it the line
    // cannot be set.
    bool ComPortAgreed() const;
    // Whether the server refused it (DONT COM-PORT-OPTION).
    bool ComPortRefused() const;

  private:
    enum class State : uint8_t { No, Asked, Yes, Refused };
    static bool Wanted(uint8_t option, bool ours);
    Bytes Agree(std::array<State, 256>& side, uint8_t option, uint8_t yes, uint8_t no, bool wanted);
    Bytes Withdraw(std::array<State, 256>& side, uint8_t option, uint8_t no);

    std::array<State, 256> ours_{};   // options this side performs (WILL)
    std::array<State, 256> theirs_{}; // options the server performs (DO)
};

} // namespace telnet
