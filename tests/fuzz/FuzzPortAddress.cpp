// The string that names a COM port, arbitrary: a result is either an error,
// a device path that is the text itself, or a remote port with a host and a
// port number.
#include "serial/PortAddress.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const PortAddress a = ParsePortAddress(text);
    if (!a.error.empty()) {
        return 0;
    }
    const bool sound = a.kind == PortKind::Device
                           ? a.path == text && a.host.empty()
                           : !a.host.empty() && a.host.size() < size && a.tcpPort != 0;
    if (!sound) {
        std::abort();
    }
    return 0;
}
