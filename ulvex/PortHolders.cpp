#include "PortHolders.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace ulvex {

namespace {

PortHolder Process(int pid) {
    PortHolder holder{pid};
    std::ifstream("/proc/" + std::to_string(pid) + "/comm") >> holder.name;
    return holder;
}

bool ByPid(const PortHolder& a, const PortHolder& b) {
    return a.pid < b.pid;
}

} // namespace

std::vector<PortHolder> OpenHolders(const struct stat& device) {
    std::vector<PortHolder> holders;
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
                holders.push_back(Process(std::stoi(pid)));
                break;
            }
        }
    }
    std::sort(holders.begin(), holders.end(), ByPid);
    return holders;
}

// /proc/locks lines read "1: FLOCK ADVISORY WRITE PID MAJ:MIN:INODE 0 EOF".
PortHolder FlockHolder(const struct stat& node) {
    char wanted[64];
    std::snprintf(wanted, sizeof wanted, "%02x:%02x:%lu", major(node.st_dev), minor(node.st_dev),
                  static_cast<unsigned long>(node.st_ino));
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);) {
        std::istringstream fields(line);
        std::string slot, kind, mode, access, pid, where;
        fields >> slot >> kind >> mode >> access >> pid >> where;
        if (kind == "FLOCK" && where == wanted && !pid.empty() &&
            pid.find_first_not_of("0123456789") == std::string::npos) {
            return Process(std::stoi(pid));
        }
    }
    return {};
}

std::vector<PortHolder> PortHolders(const struct stat& device) {
    std::vector<PortHolder> holders = OpenHolders(device);
    const PortHolder locker = FlockHolder(device);
    const bool known = std::any_of(holders.begin(), holders.end(),
                                   [&](const PortHolder& h) { return h.pid == locker.pid; });
    if (locker.pid != 0 && locker.pid != ::getpid() && !known) {
        holders.push_back(locker);
        std::sort(holders.begin(), holders.end(), ByPid);
    }
    return holders;
}

std::string Describe(const PortHolder& holder) {
    const std::string pid = std::to_string(holder.pid);
    return holder.name.empty() ? "process " + pid + " or a child of it"
                               : pid + " (" + holder.name + ")";
}

} // namespace ulvex
