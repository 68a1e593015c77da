#include "Arguments.h"

#include "serial/PortAddress.h"

namespace ulvex {

namespace {

constexpr uint32_t kMaxComport = 254;
constexpr size_t kMaxPath = 255; // what the library maps to a COM number

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// COMn with n from 1 to 254; false when the text is not of that form.
bool ParseComNumber(std::string_view text, PortArgument& port) {
    if (text.size() < 4 || (text.substr(0, 3) != "COM" && text.substr(0, 3) != "com")) {
        return false;
    }
    uint32_t n = 0;
    for (char c : text.substr(3)) {
        if (!IsDigit(c) || n > kMaxComport) {
            return false;
        }
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    port.kind = PortArgument::Kind::ComNumber;
    port.comport = n;
    if (n == 0 || n > kMaxComport) {
        port.error = "COM ports are numbered 1 to 254";
    }
    return true;
}

} // namespace

int HexDigitValue(char c) {
    if (IsDigit(c)) {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

PortArgument ParsePort(std::string_view text) {
    PortArgument port;
    if (text.empty()) {
        port.error =
            "the port is empty (a device such as /dev/ttyUSB0, COMn or rfc2217://HOST:PORT)";
        return port;
    }
    if (ParseComNumber(text, port)) {
        return port;
    }
    const PortAddress address = ParsePortAddress(std::string(text));
    if (!address.error.empty()) {
        port.error = address.error;
        return port;
    }
    port.kind =
        address.kind == PortKind::Device ? PortArgument::Kind::Device : PortArgument::Kind::Remote;
    port.path = std::string(text);
    if (port.kind == PortArgument::Kind::Device && text.find('/') == std::string_view::npos) {
        port.path = "/dev/" + port.path;
    }
    if (port.path.size() > kMaxPath) {
        port.error = "the port's name is longer than 255 characters";
    }
    return port;
}

AddressArgument ParseAddress(std::string_view text) {
    AddressArgument address;
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
    }
    if (digits.empty() || digits.size() > 8) {
        address.error = "\"" + std::string(text) + "\" is not an address (up to 8 hex digits)";
        return address;
    }
    for (char c : digits) {
        const int v = HexDigitValue(c);
        if (v < 0) {
            address.error = "\"" + std::string(text) + "\" is not a hexadecimal address";
            return address;
        }
        address.value = address.value << 4 | static_cast<uint32_t>(v);
    }
    return address;
}

RangeArgument ParseRange(std::string_view start, std::string_view end) {
    RangeArgument range;
    const AddressArgument first = ParseAddress(start);
    const AddressArgument last = ParseAddress(end);
    range.error = !first.error.empty() ? first.error : last.error;
    if (!range.error.empty()) {
        return range;
    }
    range.start = first.value;
    range.end = last.value;
    if (range.end < range.start) {
        range.error = "END lies below START (END is the last address read)";
    }
    return range;
}

} // namespace ulvex
