#include "serial/RemotePorts.h"

#include <atomic>
#include <map>
#include <mutex>

namespace remote {

namespace {

std::mutex mutex;
std::map<PortHandle, std::unique_ptr<RemotePort>> ports;
// Lets the lookup of a local device skip the lock while no remote port is open.
std::atomic<size_t> openCount{0};

} // namespace

PortHandle OpenPort(const PortAddress& address, const std::string& url, std::string& reason) {
    std::unique_ptr<RemotePort> port = RemotePort::Open(address, url, reason);
    if (!port) {
        return kNoPort;
    }
    const PortHandle handle = port->Fd();
    const std::lock_guard lock(mutex);
    ports[handle] = std::move(port);
    openCount = ports.size();
    return handle;
}

RemotePort* FindPort(PortHandle handle) {
    if (openCount == 0) {
        return nullptr;
    }
    const std::lock_guard lock(mutex);
    const auto found = ports.find(handle);
    return found == ports.end() ? nullptr : found->second.get();
}

void ClosePort(PortHandle handle) {
    std::unique_ptr<RemotePort> closing;
    const std::lock_guard lock(mutex);
    if (const auto found = ports.find(handle); found != ports.end()) {
        closing = std::move(found->second);
        ports.erase(found);
    }
    openCount = ports.size();
}

} // namespace remote
