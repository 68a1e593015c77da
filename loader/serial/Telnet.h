// The telnet layer of a remote port (rfc2217://): the bytes a client sends
// to negotiate options and to set the server's line (COM-PORT-OPTION), and a
// receiver that splits what the server sends into line data and telnet
// commands. Pure byte handling, no sockets: the remote-port driver owns the
// connection and decides what to answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace telnet {

using Bytes = std::vector<uint8_t>;

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kOptionBinary = 0;
inline constexpr uint8_t kOptionSuppressGoAhead = 3;
inline constexpr uint8_t kOptionComPort = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers
// each with the same code plus kServerOffset.
enum class ComPort : uint8_t {
    SetBaudrate = 1,
    SetDatasize = 2,
    SetParity = 3,
    SetStopsize = 4,
    SetControl = 5,
    NotifyLinestate = 6,
    NotifyModemstate = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLinestateMask = 10,
    SetModemstateMask = 11,
    PurgeData = 12,
};
inline constexpr uint8_t kServerOffset = 100;

// SET-CONTROL values the driver uses.
inline constexpr uint8_t kControlOutboundNone = 1;
inline constexpr uint8_t kControlOutboundXonXoff = 2;
inline constexpr uint8_t kControlBreakOn = 5;
inline constexpr uint8_t kControlBreakOff = 6;
inline constexpr uint8_t kControlDtrOn = 8;
inline constexpr uint8_t kControlDtrOff = 9;
inline constexpr uint8_t kControlRtsOn = 11;
inline constexpr uint8_t kControlRtsOff = 12;
// PURGE-DATA: the server's receive buffer (what the board sent us).
inline constexpr uint8_t kPurgeReceive = 1;

// Line data as it goes on the wire: every 0xFF doubled.
Bytes Escape(const uint8_t* data, size_t length);
// IAC verb option, e.g. Negotiation(kWill, kOptionBinary).
Bytes Negotiation(uint8_t verb, uint8_t option);
// IAC SB COM-PORT-OPTION command value IAC SE, the value escaped.
Bytes ComPortCommand(ComPort command, const Bytes& value);
// SET-BAUDRATE with the rate as four bytes, most significant first.
Bytes SetBaudrate(uint32_t rate);

// One telnet command the server sent, data aside.
struct Command {
    enum class Kind : uint8_t { Negotiation, Subnegotiation, Other };
    Kind kind = Kind::Other;
    uint8_t code = 0;   // the verb (WILL, DO, ...), or the command byte of Other
    uint8_t option = 0; // the option negotiated or subnegotiated
    Bytes value;        // a subnegotiation's bytes after the option, unescaped
    // A subnegotiation longer than kMaxSubnegotiation: value holds its start.
    bool truncated = false;

    bool operator==(const Command&) const = default;
};

// A COM-PORT-OPTION answer of the server: the command it answers (its
// code less kServerOffset) and the value.
struct ComPortAnswer {
    ComPort command = ComPort::SetBaudrate;
    Bytes value;
};
// Nothing for notifications, other options, other commands and codes out of
// range, which a client reads and leaves.
std::optional<ComPortAnswer> AnswerOf(const Command& command);

// Splits the server's byte stream into data and commands. The stream may be
// cut anywhere between calls; the state carries over. A subnegotiation
// keeps at most kMaxSubnegotiation bytes, so a hostile server cannot make
// it grow without bound.
class Receiver {
  public:
    static constexpr size_t kMaxSubnegotiation = 64;

    // Appends the line data in [bytes, bytes + length) to data and the
    // complete commands to commands.
    void Feed(const uint8_t* bytes, size_t length, Bytes& data, std::vector<Command>& commands);

  private:
    enum class State : uint8_t { Data, Iac, Verb, SbOption, SbValue, SbIac };

    void Byte(uint8_t byte, Bytes& data, std::vector<Command>& commands);
    void SubnegotiationByte(uint8_t byte);

    State state_ = State::Data;
    Command pending_;
};

} // namespace telnet
