// The remote port's telnet receiver fed an arbitrary server stream. The
// first byte picks where the stream is cut; the outcome must not depend on
// the cut, data never outgrows the input, and subnegotiations stay bounded.
#include "serial/Telnet.h"

#include <cstdlib>

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
    for (const telnet::Command& c : wholeCommands) {
        if (c.value.size() > telnet::Receiver::kMaxSubnegotiation) {
            std::abort();
        }
    }
    return 0;
}
