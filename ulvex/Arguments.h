// The words of ulvex's command line that are not options: PORT and the
// addresses of `read`. Each parser says why when the text is not one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ulvex {

// PORT: COMn (any case), a remote URL (rfc2217://HOST:PORT,
// socket://HOST:PORT), or a device path; a bare name such as ttyUSB0 is
// taken as /dev/ttyUSB0.
struct PortArgument {
    enum class Kind : uint8_t { ComNumber, Device, Remote } kind = Kind::Device;
    uint32_t comport = 0; // ComNumber: 1 to 254
    std::string path{};   // Device: the path; Remote: the URL as given
    std::string error{};  // not empty: no port, and why
};
PortArgument ParsePort(std::string_view text);

// The value of a hexadecimal digit, either case; -1 for any other character.
int HexDigitValue(char c);

// A hexadecimal address of at most eight digits, 0x optional.
struct AddressArgument {
    uint32_t value = 0;
    std::string error{};
};
AddressArgument ParseAddress(std::string_view text);

// START END of `read`, END inclusive and not below START.
struct RangeArgument {
    uint32_t start = 0;
    uint32_t end = 0;
    std::string error{};
};
RangeArgument ParseRange(std::string_view start, std::string_view end);

} // namespace ulvex
