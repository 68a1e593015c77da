#include "serial/RemotePorts.h"

#include <atomic>
#include <map>
#include <mutex>

namespace remote {

namespace {

// Never destroyed: a session worker may still close its port while the
// process exits.
struct Registry {
    std::mutex mutex;
    std::map<PortHandle, std::unique_ptr<RemotePort>> ports;
};

Registry& Ports() {
    static auto* registry = new Registry;
    return *registry;
}

// Lets the lookup of a local device skip the lock while no remote port is open.
std::atomic<size_t> openCount{0};

} // namespace

PortHandle OpenPort(const PortAddress& address, const std::string& url, std::string& reason) {
    std::unique_ptr<RemotePort> port = RemotePort::Open(address, url, reason);
    if (!port) {
        return kNoPort;
    }
    const PortHandle handle = port->Fd();
    Registry& r = Ports();
    const std::lock_guard lock(r.mutex);
    r.ports[handle] = std::move(port);
    openCount = r.ports.size();
    return handle;
}

RemotePort* FindPort(PortHandle handle) {
    if (openCount == 0) {
        return nullptr;
    }
    Registry& r = Ports();
    const std::lock_guard lock(r.mutex);
    const auto found = r.ports.find(handle);
    return found == r.ports.end() ? nullptr : found->second.get();
}

void ClosePort(PortHandle handle) {
    std::unique_ptr<RemotePort> closing;
    Registry& r = Ports();
    const std::lock_guard lock(r.mutex);
    if (const auto found = r.ports.find(handle); found != r.ports.end()) {
        closing = std::move(found->second);
        r.ports.erase(found);
    }
    openCount = r.ports.size();
}

} // namespace remote
