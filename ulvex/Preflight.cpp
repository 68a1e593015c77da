#include "Preflight.h"

#include "PortHolders.h"
#include "SerialPorts.h"
#include "serial/PortAddress.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <netdb.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ulvex {

namespace {

// The serial ports of this machine, for the message about a missing one.
std::string SerialPortsHere() {
    std::string list;
    for (const SerialPort& port : SerialPorts().ports) {
        list += "\n  " + port.device;
        for (const std::string& link : port.byId) {
            list += "\n    " + link;
        }
    }
    return list.empty() ? " none" : list;
}

std::string GroupOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return "";
    }
    const group* g = ::getgrgid(st.st_gid);
    return g != nullptr ? g->gr_name : std::to_string(st.st_gid);
}

std::string CheckDevice(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return path + ": no such device. Serial ports here:" + SerialPortsHere();
    }
    if (!S_ISCHR(st.st_mode)) {
        return path + ": not a serial device";
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        const std::string group = GroupOf(path);
        return path + ": permission denied. The device belongs to group " + group +
               "; join it with `sudo usermod -aG " + group + " $USER`, then log in again";
    }
    if (fd < 0 && errno == EBUSY) {
        std::string holders;
        for (const PortHolder& holder : OpenHolders(st)) {
            holders += (holders.empty() ? "" : ", ") + Describe(holder);
        }
        return path + ": another process has it to itself" +
               (holders.empty() ? "" : " (open in " + holders + ")");
    }
    if (fd < 0) {
        return path + ": " + std::strerror(errno);
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    if (locked) {
        const PortHolder holder = FlockHolder(st);
        return path + ": in use by " + (holder.pid != 0 ? Describe(holder) : "another process");
    }
    return "";
}

std::string CheckRemote(const std::string& url) {
    const PortAddress address = ParsePortAddress(url);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int rc = ::getaddrinfo(address.host.c_str(), nullptr, &hints, &found); rc != 0) {
        return url + ": cannot resolve " + address.host + ": " + ::gai_strerror(rc);
    }
    ::freeaddrinfo(found);
    return "";
}

} // namespace

std::string CheckPort(const PortArgument& port) {
    switch (port.kind) {
    case PortArgument::Kind::Device:
        return CheckDevice(port.path);
    case PortArgument::Kind::Remote:
        return CheckRemote(port.path);
    case PortArgument::Kind::ComNumber:
        break;
    }
    return ""; // COMn: the library's mapping decides; it is not checked here
}

} // namespace ulvex
