#include "PortsCommand.h"

#include <cstdio>
#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace ulvex {

namespace {

nlohmann::ordered_json OrNull(const std::optional<std::string>& value) {
    return value ? nlohmann::ordered_json(*value) : nlohmann::ordered_json();
}

std::string Usb(const SerialPort& p) {
    return p.vendorId && p.productId ? *p.vendorId + ":" + *p.productId : "-";
}

std::string HeldBy(const SerialPort& p) {
    std::string text;
    for (const PortHolder& h : p.holders) {
        text += (text.empty() ? "" : ", ") + Describe(h);
    }
    return text.empty() ? "-" : text;
}

// "FTDI FT232R USB UART, serial A10K3XYZ"; "-" when the port tells nothing.
std::string Description(const SerialPort& p) {
    std::string text;
    for (const std::optional<std::string>& part : {p.manufacturer, p.product}) {
        if (part && !part->empty()) {
            text += (text.empty() ? "" : " ") + *part;
        }
    }
    if (p.serialNumber && !p.serialNumber->empty()) {
        text += (text.empty() ? "serial " : ", serial ") + *p.serialNumber;
    }
    return text.empty() ? "-" : text;
}

} // namespace

std::string PortsTable(const std::vector<SerialPort>& ports) {
    if (ports.empty()) {
        return "no serial ports here\n";
    }
    size_t width = std::string_view("device").size();
    for (const SerialPort& p : ports) {
        width = std::max(width, p.device.size());
    }
    std::string out = fmt::format("{:<{}}  {:<12} {:<9}  {:<6}  {:<16}  {}\n", "device", width,
                                  "driver", "usb", "access", "held by", "description");
    for (const SerialPort& p : ports) {
        out += fmt::format("{:<{}}  {:<12} {:<9}  {:<6}  {:<16}  {}\n", p.device, width,
                           p.driver.value_or("-"), Usb(p), p.accessible ? "rw" : "denied",
                           HeldBy(p), Description(p));
        for (const std::string& link : p.byId) {
            out += fmt::format("{:<{}}  by-id    {}\n", "", width, link);
        }
        for (const std::string& link : p.byPath) {
            out += fmt::format("{:<{}}  by-path  {}\n", "", width, link);
        }
    }
    return out;
}

std::string PortsJson(const std::vector<SerialPort>& ports) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const SerialPort& p : ports) {
        nlohmann::ordered_json holders = nlohmann::ordered_json::array();
        for (const PortHolder& h : p.holders) {
            holders.push_back({{"pid", h.pid},
                               {"name", h.name.empty() ? nlohmann::ordered_json()
                                                       : nlohmann::ordered_json(h.name)}});
        }
        list.push_back({{"device", p.device},
                        {"by_id", p.byId},
                        {"by_path", p.byPath},
                        {"driver", OrNull(p.driver)},
                        {"vendor_id", OrNull(p.vendorId)},
                        {"product_id", OrNull(p.productId)},
                        {"manufacturer", OrNull(p.manufacturer)},
                        {"product", OrNull(p.product)},
                        {"serial_number", OrNull(p.serialNumber)},
                        {"accessible", p.accessible},
                        {"holders", holders}});
    }
    return list.dump(2) + "\n";
}

int RunPorts(bool json) {
    const SerialPortList list = SerialPorts();
    if (!list.error.empty()) {
        std::fprintf(stderr, "ulvex: %s\n", list.error.c_str());
        return 1;
    }
    std::fputs((json ? PortsJson(list.ports) : PortsTable(list.ports)).c_str(), stdout);
    return 0;
}

} // namespace ulvex
