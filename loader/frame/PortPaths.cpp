#include "frame/PortPaths.h"

#include <array>
#include <mutex>

namespace {

constexpr uint32_t kMaxComport = 254;

// Never destroyed: a session worker may still open a port while the
// process exits.
struct Table {
    std::mutex mutex;
    std::array<std::string, kMaxComport + 1> paths; // by port number; empty: none
};

Table& Paths() {
    static auto* table = new Table;
    return *table;
}

} // namespace

bool SetPortPath(uint32_t port, const std::string& path) {
    if (port == 0 || port > kMaxComport || path.size() > kMaxPortPath) {
        return false;
    }
    Table& t = Paths();
    const std::lock_guard lock(t.mutex);
    t.paths[port] = path;
    return true;
}

std::optional<std::string> MappedPortPath(uint32_t port) {
    if (port == 0 || port > kMaxComport) {
        return std::nullopt;
    }
    Table& t = Paths();
    const std::lock_guard lock(t.mutex);
    if (t.paths[port].empty()) {
        return std::nullopt;
    }
    return t.paths[port];
}
