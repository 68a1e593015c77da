#include "Ser2net.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// Whether /proc/net/tcp shows a socket listening on 127.0.0.1:port. Asking
// this way leaves the server alone: a probing connection would take the
// port's only client place and open the device.
bool ListensOn(uint16_t port) {
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string slot;
    std::string local;
    std::string remote;
    std::string state;
    std::string rest;
    std::getline(table, rest);
    while (table >> slot >> local >> remote >> state && std::getline(table, rest)) {
        if (local == wanted && state == "0A") {
            return true;
        }
    }
    return false;
}

std::string Configuration(const std::string& accepter, uint16_t port, const std::string& device) {
    const std::string protocol = accepter.empty() ? "" : accepter + ",";
    return "connection: &board\n"
           "  accepter: " +
           protocol + "tcp,127.0.0.1," + std::to_string(port) +
           "\n"
           "  connector: serialdev," +
           device +
           ",115200n81,local\n"
           "  options:\n"
           "    chardelay: false\n";
}

} // namespace

uint16_t FreeTcpPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    uint16_t port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &size) == 0) {
        port = ntohs(a.sin_port);
    }
    ::close(fd);
    return port;
}

size_t OpenSockets() {
    size_t count = 0;
    DIR* dir = ::opendir("/proc/self/fd");
    while (const dirent* entry = dir != nullptr ? ::readdir(dir) : nullptr) {
        char target[64] = {};
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        if (::readlink(link.c_str(), target, sizeof target - 1) > 0 &&
            std::string(target).starts_with("socket:")) {
            ++count;
        }
    }
    if (dir != nullptr) {
        ::closedir(dir);
    }
    return count;
}

Ser2net::Ser2net(const testfiles::TempDir& dir, const std::string& device,
                 const std::string& accepter)
    : telnet_(!accepter.empty()) {
    port_ = FreeTcpPort();
    const std::string config = dir.file("ser2net-" + std::to_string(port_) + ".yaml");
    testfiles::WriteFile(config, Configuration(accepter, port_, device));
    const std::string pidFile = config + ".pid";
    const std::string output = config + ".out";
    std::vector<char*> argv;
    for (const char* arg :
         {ULVEX_SER2NET, "-n", "-d", "-u", "-c", config.c_str(), "-P", pidFile.c_str()}) {
        argv.push_back(const_cast<char*>(arg));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, ULVEX_SER2NET, &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    // It listens within about 10 ms; the bound leaves room for a busy machine.
    for (int i = 0; i < 500; ++i) {
        if (ListensOn(port_)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    error_ = "ser2net does not listen on port " + std::to_string(port_) + ": " +
             testfiles::ReadFile(output);
}

Ser2net::~Ser2net() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }
}

std::string Ser2net::Url() const {
    return (telnet_ ? "rfc2217://127.0.0.1:" : "socket://127.0.0.1:") + std::to_string(port_);
}

void Ser2net::Kill() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}
