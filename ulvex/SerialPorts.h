// The serial ports of this machine, as libudev and sysfs know them: every
// device of subsystem "tty" that has a parent device (virtual consoles and
// pseudo-terminals have none), without the 8250 ports that are not there.
// Needs no udev daemon: what is read comes from sysfs, /dev and /proc.
#pragma once

#include "PortHolders.h"

#include <optional>
#include <string>
#include <vector>

namespace ulvex {

struct SerialPort {
    std::string device;                // the node, e.g. /dev/ttyUSB0
    std::vector<std::string> byId;     // links in /dev/serial/by-id to the node
    std::vector<std::string> byPath;   // links in /dev/serial/by-path to the node
    std::optional<std::string> driver; // the nearest driver above the tty, e.g. ftdi_sio
    // Of the USB device the port belongs to; absent for other ports.
    std::optional<std::string> vendorId;  // idVendor, four hexadecimal digits
    std::optional<std::string> productId; // idProduct
    std::optional<std::string> manufacturer;
    std::optional<std::string> product;
    std::optional<std::string> serialNumber;
    bool accessible = false;         // this user may open it for reading and writing
    std::vector<PortHolder> holders; // the processes that have it open or locked
};

// Every port, in the order of their device names (ttyS2 before ttyS10).
// Empty with `error` set when libudev cannot enumerate.
struct SerialPortList {
    std::vector<SerialPort> ports;
    std::string error{};
};
SerialPortList SerialPorts();

} // namespace ulvex
