#include "Preflight.h"

#include "serial/PortAddress.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <netdb.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ulvex {

namespace {

// The serial devices of this machine, for the message about a missing one.
std::string SerialPortsHere() {
    std::string list;
    std::error_code error;
    for (const char* dir : {"/dev/serial/by-id", "/dev"}) {
        for (const auto& entry : std::filesystem::directory_iterator(dir, error)) {
            const std::string name = entry.path().filename().string();
            const bool serial = std::string_view(dir) != "/dev" || name.starts_with("ttyUSB") ||
                                name.starts_with("ttyACM");
            if (serial) {
                list += "\n  " + entry.path().string();
            }
        }
    }
    return list.empty() ? " none (no /dev/ttyUSB*, /dev/ttyACM* or /dev/serial/by-id)" : list;
}

std::string GroupOf(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return "";
    }
    const group* g = ::getgrgid(st.st_gid);
    return g != nullptr ? g->gr_name : std::to_string(st.st_gid);
}

std::string NameOf(const std::string& pid) {
    std::string name;
    std::ifstream("/proc/" + pid + "/comm") >> name;
    // A lock outlives its taker in the children that inherited it.
    return name.empty() ? "process " + pid + " or a child of it" : pid + " (" + name + ")";
}

// The processes that have the device open, as "pid (name)".
std::string Holders(const struct stat& device) {
    std::string holders;
    std::error_code error;
    for (const auto& process : std::filesystem::directory_iterator("/proc", error)) {
        const std::string pid = process.path().filename().string();
        if (pid.find_first_not_of("0123456789") != std::string::npos ||
            pid == std::to_string(::getpid())) {
            continue;
        }
        for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", error)) {
            struct stat st {};
            if (::stat(fd.path().c_str(), &st) == 0 && S_ISCHR(st.st_mode) &&
                st.st_rdev == device.st_rdev) {
                holders += (holders.empty() ? "" : ", ") + NameOf(pid);
                break;
            }
        }
    }
    return holders;
}

// The process holding a flock on the device node, from /proc/locks, whose
// lines read "1: FLOCK ADVISORY WRITE PID MAJ:MIN:INODE 0 EOF".
std::string LockHolder(const struct stat& node) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string slot, kind, mode, access, pid, where;
        fields >> slot >> kind >> mode >> access >> pid >> where;
        if (kind == "FLOCK" && where == wanted) {
            return NameOf(pid);
        }
    }
    return "another process";
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
        const std::string holders = Holders(st);
        return path + ": another process has it to itself" +
               (holders.empty() ? "" : " (open in " + holders + ")");
    }
    if (fd < 0) {
        return path + ": " + std::strerror(errno);
    }
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
    ::close(fd);
    if (locked) {
        return path + ": in use by " + LockHolder(st);
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
