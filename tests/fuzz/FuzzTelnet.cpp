// The remote port's telnet receiver fed an arbitrary server stream. The
// first byte picks where the stream is cut; the outcome must not depend on
// the cut, data never outgrows the input, and subnegotiations stay bounded.
#include "serial/Telnet.h"

#include <cstdlib>

namespace {

struct Outcome {
    telnet::Bytes data;
    std::vector<telnet::Command> commands;
};

Outcome Receive(const uint8_t* bytes, size_t length, size_t cut) {
    telnet::Receiver receiver;
    Outcome out;
    receiver.Feed(bytes, cut, out.data, out.commands);
    receiver.Feed(bytes + cut, length - cut, out.data, out.commands);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const uint8_t* stream = data + 1;
    const size_t length = size - 1;
    const size_t cut = length == 0 ? 0 : data[0] % (length + 1);
    const Outcome whole = Receive(stream, length, 0);
    const Outcome split = Receive(stream, length, cut);
    if (whole.data != split.data || whole.commands != split.commands ||
        whole.data.size() > length) {
        std::abort();
    }
    for (const telnet::Command& c : whole.commands) {
        if (c.value.size() > telnet::Receiver::kMaxSubnegotiation) {
            std::abort();
        }
    }
    return 0;
}
