// The remote port's telnet bytes: what the client sends, and the receiver's
// split of a server's stream into line data and commands, cut anywhere.
#include "serial/Telnet.h"

#include <gtest/gtest.h>

namespace {

using telnet::Bytes;
using telnet::Command;
using Kind = telnet::Command::Kind;

struct Outcome {
    Bytes data;
    std::vector<Command> commands;
    bool operator==(const Outcome&) const = default;
};

Command Sub(Bytes value, bool truncated = false) {
    return {Kind::Subnegotiation, telnet::kSb, telnet::kOptionComPort, std::move(value), truncated};
}

Command Verb(uint8_t code, uint8_t option) {
    return {Kind::Negotiation, code, option, {}, false};
}

Command Other(uint8_t code) {
    return {Kind::Other, code, 0, {}, false};
}

// A notification of 1000 bytes and a data byte after it.
Bytes LongSubnegotiation() {
    Bytes stream{255, 250, 44, 106};
    stream.insert(stream.end(), 1000, 0x7E);
    stream.insert(stream.end(), {255, 240, 0x5A});
    return stream;
}

TEST(TelnetTest, ReceiverSplitsDataFromCommandsWhereverTheStreamIsCut) {
    Bytes longStart{106};
    longStart.insert(longStart.end(), telnet::Receiver::kMaxSubnegotiation - 1, 0x7E);
    const struct {
        const char* what;
        Bytes stream;
        Outcome expected;
    } rows[] = {
        {"plain data", {0x55, 0x00, 0x0D, 0x0A}, {{0x55, 0x00, 0x0D, 0x0A}, {}}},
        {"doubled 0xFF is one data byte", {0x01, 255, 255, 0x02}, {{0x01, 0xFF, 0x02}, {}}},
        {"negotiation between data",
         {0x01, 255, 251, 0, 0x02, 255, 254, 3},
         {{0x01, 0x02}, {Verb(251, 0), Verb(254, 3)}}},
        {"answer to SET-BAUDRATE",
         {255, 250, 44, 101, 0, 0, 0x21, 0x98, 255, 240, 0x33},
         {{0x33}, {Sub({101, 0, 0, 0x21, 0x98})}}},
        {"notification with a doubled 0xFF",
         {255, 250, 44, 107, 255, 255, 255, 240},
         {{}, {Sub({107, 0xFF})}}},
        {"NOP and a stray SE are not data",
         {255, 241, 0x10, 255, 240},
         {{0x10}, {Other(241), Other(240)}}},
        {"SB that forgets its SE ends at the next command",
         {255, 250, 44, 106, 0x60, 255, 251, 1, 0x44},
         {{0x44}, {Sub({106, 0x60}), Verb(251, 1)}}},
        {"a long subnegotiation keeps its start",
         LongSubnegotiation(),
         {{0x5A}, {Sub(longStart, true)}}},
    };
    for (const auto& row : rows) {
        for (size_t piece : {size_t{1}, size_t{2}, size_t{3}, row.stream.size()}) {
            telnet::Receiver receiver;
            Outcome out;
            for (size_t at = 0; at < row.stream.size(); at += piece) {
                const size_t n = std::min(piece, row.stream.size() - at);
                receiver.Feed(row.stream.data() + at, n, out.data, out.commands);
            }
            EXPECT_EQ(out, row.expected) << row.what << ", pieces of " << piece;
        }
    }
}

TEST(TelnetTest, ClientBytes) {
    const Bytes ff{0x01, 0xFF, 0x02};
    EXPECT_EQ(telnet::Escape(ff.data(), ff.size()), (Bytes{0x01, 0xFF, 0xFF, 0x02}));
    EXPECT_EQ(telnet::Negotiation(telnet::kWill, telnet::kOptionComPort), (Bytes{255, 251, 44}));
    // 8600 and 11520 go as they are; a rate byte of 0xFF is doubled.
    EXPECT_EQ(telnet::SetBaudrate(8600), (Bytes{255, 250, 44, 1, 0, 0, 0x21, 0x98, 255, 240}));
    EXPECT_EQ(telnet::SetBaudrate(0x0001C2FF),
              (Bytes{255, 250, 44, 1, 0, 0x01, 0xC2, 0xFF, 0xFF, 255, 240}));
    EXPECT_EQ(telnet::ComPortCommand(telnet::ComPort::PurgeData, {telnet::kPurgeReceive}),
              (Bytes{255, 250, 44, 12, 1, 255, 240}));
}

} // namespace
