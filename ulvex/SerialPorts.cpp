#include "SerialPorts.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <libudev.h>
#include <linux/serial.h>
#include <memory>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

namespace ulvex {

namespace {

using Udev = std::unique_ptr<udev, decltype(&udev_unref)>;
using Enumerate = std::unique_ptr<udev_enumerate, decltype(&udev_enumerate_unref)>;
using Device = std::unique_ptr<udev_device, decltype(&udev_device_unref)>;

std::optional<std::string> Text(const char* value) {
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> Attribute(udev_device* device, const char* name) {
    return device != nullptr ? Text(udev_device_get_sysattr_value(device, name)) : std::nullopt;
}

// Since Linux 6.5 a serial_core port hangs below two devices of the bus
// "serial-base" (port and ctrl) whose drivers say nothing about the
// hardware; the driver that does is the next one above them.
std::optional<std::string> DriverOf(udev_device* tty) {
    for (udev_device* d = udev_device_get_parent(tty); d != nullptr;
         d = udev_device_get_parent(d)) {
        const char* subsystem = udev_device_get_subsystem(d);
        if (subsystem != nullptr && std::string_view(subsystem) == "serial-base") {
            continue;
        }
        if (const char* driver = udev_device_get_driver(d)) {
            return driver;
        }
    }
    return std::nullopt;
}

bool BelowDriver(udev_device* tty, std::string_view wanted) {
    for (udev_device* d = udev_device_get_parent(tty); d != nullptr;
         d = udev_device_get_parent(d)) {
        const char* driver = udev_device_get_driver(d);
        if (driver != nullptr && wanted == driver) {
            return true;
        }
    }
    return false;
}

// The platform driver serial8250 registers a fixed number of ports
// (8250.nr_uarts) whether a UART answers at their addresses or not; one
// that does not has the type PORT_UNKNOWN. The tty's sysfs attribute
// "type" tells it to everyone; without it, TIOCGSERIAL on the opened
// device does. A port that cannot be asked is kept.
bool Phantom8250(udev_device* tty, const char* node) {
    if (!BelowDriver(tty, "serial8250")) {
        return false;
    }
    if (const std::optional<std::string> type = Attribute(tty, "type")) {
        return *type == std::to_string(PORT_UNKNOWN);
    }
    const int fd = ::open(node, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    serial_struct info{};
    const bool unknown = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == PORT_UNKNOWN;
    ::close(fd);
    return unknown;
}

// The symbolic links in `dir` that resolve to `node`, sorted.
std::vector<std::string> LinksTo(const char* dir, const std::filesystem::path& node) {
    std::vector<std::string> links;
    std::error_code error;
    if (node.empty()) {
        return links;
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
        std::error_code unresolved; // a dangling link resolves to an empty path
        if (entry.is_symlink(unresolved) &&
            std::filesystem::canonical(entry.path(), unresolved) == node) {
            links.push_back(entry.path().string());
        }
    }
    std::sort(links.begin(), links.end());
    return links;
}

// ttyS2 before ttyS10: the name without its trailing number, then the number.
bool NaturalLess(const SerialPort& a, const SerialPort& b) {
    const auto split = [](const std::string& name) {
        const size_t digits = name.find_last_not_of("0123456789") + 1;
        const std::string number = name.substr(digits);
        return std::pair(name.substr(0, digits),
                         number.empty() || number.size() > 9 ? -1 : std::stoi(number));
    };
    return split(a.device) < split(b.device);
}

SerialPort ReadPort(udev_device* tty, const char* node) {
    SerialPort port;
    port.device = node;
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(node, error);
    port.byId = LinksTo("/dev/serial/by-id", real);
    port.byPath = LinksTo("/dev/serial/by-path", real);
    port.driver = DriverOf(tty);
    // Not owned: it lives as long as `tty`.
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(tty, "usb", "usb_device");
    port.vendorId = Attribute(usb, "idVendor");
    port.productId = Attribute(usb, "idProduct");
    port.manufacturer = Attribute(usb, "manufacturer");
    port.product = Attribute(usb, "product");
    port.serialNumber = Attribute(usb, "serial");
    port.accessible = ::access(node, R_OK | W_OK) == 0;
    struct stat st {};
    if (::stat(node, &st) == 0 && S_ISCHR(st.st_mode)) {
        port.holders = PortHolders(st);
    }
    return port;
}

} // namespace

SerialPortList SerialPorts() {
    SerialPortList list;
    const Udev context(udev_new(), udev_unref);
    const Enumerate enumerate(context ? udev_enumerate_new(context.get()) : nullptr,
                              udev_enumerate_unref);
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        list.error = "libudev cannot list the tty devices";
        return list;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get())) {
        const Device tty(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)),
            udev_device_unref);
        const char* node = tty ? udev_device_get_devnode(tty.get()) : nullptr;
        if (node == nullptr || udev_device_get_parent(tty.get()) == nullptr ||
            Phantom8250(tty.get(), node)) {
            continue;
        }
        list.ports.push_back(ReadPort(tty.get(), node));
    }
    std::sort(list.ports.begin(), list.ports.end(), NaturalLess);
    return list;
}

} // namespace ulvex
