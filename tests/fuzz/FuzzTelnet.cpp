// The remote port's telnet receiver fed an arbitrary server stream. The
// first byte picks where the stream is cut; the outcome must not depend on
// the cut, data never outgrows the input, and subnegotiations stay bounded.
// Every command then goes where the remote port takes it: negotiations to
// the client's option state, which answers each at most once and with one
// well-formed negotiation, and COM-PORT-OPTION answers to their decoder,
// which yields only the commands a client sends.
#include "serial/Telnet.h"
#include "serial/TelnetOptions.h"

#include <cstdlib>

namespace {

void CheckNegotiation(telnet::Options& options, const telnet::Command& c) {
    const telnet::Bytes answer = options.Answer(c.code, c.option);
    const bool wellFormed = answer.empty() || (answer.size() == 3 && answer[0] == telnet::kIac &&
                                               answer[1] >= telnet::kWill && answer[2] == c.option);
    if (!wellFormed || !options.Answer(c.code, c.option).empty()) {
        std::abort(); // a repeated request must not be answered again
    }
}

void CheckAnswer(const telnet::Command& c) {
    const auto answer = telnet::AnswerOf(c);
    if (answer &&
        (static_cast<uint8_t>(answer->command) < 1 || static_cast<uint8_t>(answer->command) > 12 ||
         answer->value.size() + 1 != c.value.size())) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t* stream = data + 1;
    const size_t length = size - 1;
    const size_t cut = data[0] % (length + 1);
    telnet::Receiver whole, split;
    telnet::Bytes wholeData, splitData;
    std::vector<telnet::Command> wholeCommands, splitCommands;
    whole.Feed(stream, length, wholeData, wholeCommands);
    split.Feed(stream, cut, splitData, splitCommands);
    split.Feed(stream + cut, length - cut, splitData, splitCommands);
    if (wholeData != splitData || wholeCommands != splitCommands || wholeData.size() > length) {
        std::abort();
    }
    telnet::Options options;
    options.Start();
    for (const telnet::Command& c : wholeCommands) {
        if (c.value.size() > telnet::Receiver::kMaxSubnegotiation) {
            std::abort();
        }
        if (c.kind == telnet::Command::Kind::Negotiation) {
            CheckNegotiation(options, c);
        }
        CheckAnswer(c);
    }
    return 0;
}
