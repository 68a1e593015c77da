#include "Ser2netServer.h"

#include "BenchClock.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

namespace {

// A TCP port on 127.0.0.1 that nothing listens on (just released).
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

// Whether /proc/net/tcp shows a socket listening on 127.0.0.1:port. A
// probing connection would take the server's only client place instead.
bool ListensOn(uint16_t port) {
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", port);
    std::ifstream table("/proc/net/tcp");
    std::string slot, local, remote, state, rest;
    std::getline(table, rest);
    while (table >> slot >> local >> remote >> state && std::getline(table, rest)) {
        if (local == wanted && state == "0A") {
            return true;
        }
    }
    return false;
}

// Without chardelay: false the server holds every byte from the device for
// a few character times before it passes it on.
std::string Configuration(uint16_t port, const std::string& device, bool noDelay) {
    return "connection: &board\n"
           "  accepter: telnet(rfc2217),tcp" +
           std::string(noDelay ? "(nodelay)" : "") + ",127.0.0.1," + std::to_string(port) +
           "\n  connector: serialdev," + device +
           ",115200n81,local\n"
           "  options:\n"
           "    chardelay: false\n";
}

} // namespace

Ser2netServer::Ser2netServer(const std::string& dir, const std::string& device, bool noDelay)
    : config_(dir + "/ser2net.yaml"), port_(FreeTcpPort()) {
    std::ofstream(config_) << Configuration(port_, device, noDelay);
    const std::string pidFile = config_ + ".pid";
    const std::string output = config_ + ".out";
    std::vector<char*> argv;
    for (const char* arg :
         {ULVEX_SER2NET, "-n", "-d", "-u", "-c", config_.c_str(), "-P", pidFile.c_str()}) {
        argv.push_back(const_cast<char*>(arg));
    }
    argv.push_back(nullptr);
    // Its output goes to a file, so that a full pipe never stalls it.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, ULVEX_SER2NET, &actions, nullptr, argv.data(), environ) != 0) {
        std::perror("posix_spawn " ULVEX_SER2NET);
        std::exit(1);
    }
    posix_spawn_file_actions_destroy(&actions);
    // It listens within about 10 ms; the bound leaves room for a busy machine.
    for (int i = 0; i < 500; ++i) {
        if (ListensOn(port_)) {
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::cerr << "ser2net does not listen on port " << port_ << ": "
              << std::ifstream(output).rdbuf() << "\n";
    std::exit(1);
}

Ser2netServer::~Ser2netServer() {
    Stop();
    for (const char* suffix : {"", ".pid", ".out"}) {
        std::remove((config_ + suffix).c_str());
    }
}

double Ser2netServer::Stop() {
    if (pid_ <= 0) {
        return 0;
    }
    ::kill(pid_, SIGTERM);
    rusage usage{};
    ::wait4(pid_, nullptr, 0, &usage);
    pid_ = -1;
    return CpuMs(usage);
}

} // namespace bench
