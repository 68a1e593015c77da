// The client's side of option negotiation against the answers a server may
// give: agreement, refusal, requests of its own, and requests repeated.
#include "serial/TelnetOptions.h"

#include <gtest/gtest.h>
#include <utility>

namespace {

using telnet::Bytes;
constexpr uint8_t WILL = telnet::kWill, WONT = telnet::kWont, DO = telnet::kDo,
                  DONT = telnet::kDont, IAC = telnet::kIac;
constexpr uint8_t BIN = telnet::kOptionBinary, SGA = telnet::kOptionSuppressGoAhead,
                  COM = telnet::kOptionComPort, ECHO = 1;

struct Negotiated {
    Bytes answers;
    bool agreed;
    bool refused;
    bool operator==(const Negotiated&) const = default;
};

Negotiated Negotiate(const std::vector<std::pair<uint8_t, uint8_t>>& fromServer) {
    telnet::Options options;
    options.Start();
    Negotiated out{{}, false, false};
    for (const auto& [verb, option] : fromServer) {
        const Bytes a = options.Answer(verb, option);
        out.answers.insert(out.answers.end(), a.begin(), a.end());
    }
    out.agreed = options.ComPortAgreed();
    out.refused = options.ComPortRefused();
    return out;
}

TEST(TelnetOptionsTest, StartAsksForBinarySuppressGoAheadAndComPort) {
    telnet::Options options;
    EXPECT_EQ(options.Start(),
              (Bytes{IAC, WILL, BIN, IAC, WILL, SGA, IAC, WILL, COM, IAC, DO, BIN, IAC, DO, SGA}));
}

TEST(TelnetOptionsTest, AnswersToWhatTheServerSays) {
    const struct {
        const char* what;
        std::vector<std::pair<uint8_t, uint8_t>> fromServer;
        Negotiated expected;
    } rows[] = {
        {"ser2net's agreement needs no answer",
         {{DO, BIN}, {DO, SGA}, {DO, COM}, {WILL, BIN}, {WILL, SGA}},
         {{}, true, false}},
        {"an unknown option is refused once",
         {{DO, COM}, {WILL, ECHO}, {WILL, ECHO}, {DO, ECHO}},
         {{IAC, DONT, ECHO, IAC, WONT, ECHO}, true, false}},
        {"the COM-PORT-OPTION refused", {{DONT, COM}}, {{}, false, true}},
        {"agreed, then withdrawn", {{DO, COM}, {DONT, COM}}, {{IAC, WONT, COM}, false, true}},
        {"the server asks to perform the COM-PORT-OPTION itself",
         {{WILL, COM}},
         {{IAC, DONT, COM}, false, false}},
        {"a repeated request is not answered again",
         {{DO, BIN}, {DO, BIN}, {WILL, SGA}, {WILL, SGA}},
         {{}, false, false}},
        {"withdrawn and asked again", {{WONT, BIN}, {WILL, BIN}}, {{IAC, DO, BIN}, false, false}},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(Negotiate(row.fromServer), row.expected) << row.what;
    }
}

} // namespace
