#include "serial/Telnet.h"

namespace telnet {

Bytes Escape(const uint8_t* data, size_t length) {
    Bytes out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        out.push_back(data[i]);
        if (data[i] == kIac) {
            out.push_back(kIac);
        }
    }
    return out;
}

Bytes Negotiation(uint8_t verb, uint8_t option) {
    return {kIac, verb, option};
}

Bytes ComPortCommand(ComPort command, const Bytes& value) {
    Bytes out{kIac, kSb, kOptionComPort, static_cast<uint8_t>(command)};
    const Bytes escaped = Escape(value.data(), value.size());
    out.insert(out.end(), escaped.begin(), escaped.end());
    out.push_back(kIac);
    out.push_back(kSe);
    return out;
}

Bytes SetBaudrate(uint32_t rate) {
    return ComPortCommand(ComPort::SetBaudrate,
                          {static_cast<uint8_t>(rate >> 24), static_cast<uint8_t>(rate >> 16),
                           static_cast<uint8_t>(rate >> 8), static_cast<uint8_t>(rate)});
}

std::optional<ComPortAnswer> AnswerOf(const Command& command) {
    if (command.kind != Command::Kind::Subnegotiation || command.option != kOptionComPort ||
        command.value.empty()) {
        return std::nullopt;
    }
    const uint8_t code = command.value[0];
    if (code <= kServerOffset || code > kServerOffset + static_cast<uint8_t>(ComPort::PurgeData)) {
        return std::nullopt;
    }
    return ComPortAnswer{static_cast<ComPort>(code - kServerOffset),
                         Bytes(command.value.begin() + 1, command.value.end())};
}

void Receiver::Feed(const uint8_t* bytes, size_t length, Bytes& data,
                    std::vector<Command>& commands) {
    for (size_t i = 0; i < length; ++i) {
        Byte(bytes[i], data, commands);
    }
}

void Receiver::SubnegotiationByte(uint8_t byte) {
    if (pending_.value.size() < kMaxSubnegotiation) {
        pending_.value.push_back(byte);
    } else {
        pending_.truncated = true;
    }
}

void Receiver::Byte(uint8_t byte, Bytes& data, std::vector<Command>& commands) {
    switch (state_) {
    case State::Data:
        if (byte == kIac) {
            state_ = State::Iac;
        } else {
            data.push_back(byte);
        }
        return;
    case State::Iac:
        if (byte == kIac) {
            data.push_back(kIac);
            state_ = State::Data;
        } else if (byte >= kWill && byte <= kDont) {
            pending_ = Command{Command::Kind::Negotiation, byte, 0, {}, false};
            state_ = State::Verb;
        } else if (byte == kSb) {
            pending_ = Command{Command::Kind::Subnegotiation, kSb, 0, {}, false};
            state_ = State::SbOption;
        } else {
            // NOP, GA, AYT and the like, or a stray SE: nothing for the line.
            commands.push_back(Command{Command::Kind::Other, byte, 0, {}, false});
            state_ = State::Data;
        }
        return;
    case State::Verb:
        pending_.option = byte;
        commands.push_back(pending_);
        state_ = State::Data;
        return;
    case State::SbOption:
        pending_.option = byte;
        state_ = State::SbValue;
        return;
    case State::SbValue:
        if (byte == kIac) {
            state_ = State::SbIac;
        } else {
            SubnegotiationByte(byte);
        }
        return;
    case State::SbIac:
        if (byte == kIac) {
            SubnegotiationByte(kIac);
            state_ = State::SbValue;
            return;
        }
        commands.push_back(pending_);
        state_ = State::Data;
        if (byte != kSe) {
            // A server that forgot the SE: the subnegotiation ends here and
            // the byte is the command after IAC, as most peers read it.
            state_ = State::Iac;
            Byte(byte, data, commands);
        }
        return;
    }
}

} // namespace telnet
