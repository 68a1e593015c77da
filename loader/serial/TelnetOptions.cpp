#include "serial/TelnetOptions.h"

namespace telnet {

Bytes Options::Start() {
    Bytes out;
    for (uint8_t option : {kOptionBinary, kOptionSuppressGoAhead, kOptionComPort}) {
        const Bytes will = Negotiation(kWill, option);
        out.insert(out.end(), will.begin(), will.end());
        ours_[option] = State::Asked;
    }
    for (uint8_t option : {kOptionBinary, kOptionSuppressGoAhead}) {
        const Bytes request = Negotiation(kDo, option);
        out.insert(out.end(), request.begin(), request.end());
        theirs_[option] = State::Asked;
    }
    return out;
}

// This side performs BINARY, SGA and the COM-PORT-OPTION; the server is
// asked to perform BINARY and SGA only (the COM-PORT-OPTION has one client).
bool Options::Wanted(uint8_t option, bool ours) {
    return option == kOptionBinary || option == kOptionSuppressGoAhead ||
           (ours && option == kOptionComPort);
}

Bytes Options::Answer(uint8_t verb, uint8_t option) {
    switch (verb) {
    case kDo:
        return Agree(ours_, option, kWill, kWont, Wanted(option, true));
    case kWill:
        return Agree(theirs_, option, kDo, kDont, Wanted(option, false));
    case kDont:
        return Withdraw(ours_, option, kWont);
    case kWont:
        return Withdraw(theirs_, option, kDont);
    default:
        return {};
    }
}

Bytes Options::Agree(std::array<State, 256>& side, uint8_t option, uint8_t yes, uint8_t no,
                     bool wanted) {
    State& s = side[option];
    if (!wanted) {
        // Refused once; a server asking again is not answered again.
        if (s == State::Refused) {
            return {};
        }
        s = State::Refused;
        return Negotiation(no, option);
    }
    const bool answerDue = s == State::No || s == State::Refused;
    s = State::Yes;
    return answerDue ? Negotiation(yes, option) : Bytes{};
}

Bytes Options::Withdraw(std::array<State, 256>& side, uint8_t option, uint8_t no) {
    State& s = side[option];
    const bool answerDue = s == State::Yes;
    if (s == State::Yes || s == State::Asked) {
        s = State::Refused;
    }
    return answerDue ? Negotiation(no, option) : Bytes{};
}

bool Options::ComPortAgreed() const {
    return ours_[kOptionComPort] == State::Yes;
}

bool Options::ComPortRefused() const {
    return ours_[kOptionComPort] == State::Refused;
}

} // namespace telnet
