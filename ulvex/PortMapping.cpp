#include "PortMapping.h"

#include <filesystem>
#include <set>
#include <ulvex_open_failure.h>
#include <ulvex_port_path.h>

namespace ulvex {

std::optional<std::vector<uint32_t>> MapPorts(const std::vector<PortArgument>& ports) {
    std::set<uint32_t> used;
    for (const PortArgument& p : ports) {
        if (p.kind == PortArgument::Kind::ComNumber) {
            used.insert(p.comport);
        }
    }
    std::vector<uint32_t> comports;
    uint32_t next = 254;
    for (const PortArgument& p : ports) {
        if (p.kind == PortArgument::Kind::ComNumber) {
            comports.push_back(p.comport);
            continue;
        }
        while (next > 0 && used.count(next) != 0) {
            --next;
        }
        // Absolute, as the library may open it after a change of directory
        // (flash --log-dir).
        std::string path = p.path;
        if (p.kind == PortArgument::Kind::Device) {
            std::error_code error;
            path = std::filesystem::absolute(path, error).string();
        }
        if (next == 0 || ULVEX_SetPortPath(next, path.c_str()) == 0) {
            return std::nullopt;
        }
        comports.push_back(next--);
    }
    return comports;
}

std::string OpenFailureOf(uint16_t session) {
    UlvexOpenFailure failure;
    if (ULVEX_GetLastOpenFailure(session, &failure) == 0) {
        return "";
    }
    return std::string(failure.tried) + ": " + failure.reason;
}

} // namespace ulvex
