// A ser2net process that serves one device (a board's pseudo-terminal) on
// 127.0.0.1 over telnet with the COM-PORT-OPTION, on a free TCP port, for
// the benchmarks of remote ports. Its configuration, pid file and output
// live in a folder the caller gives and are removed with it.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

namespace bench {

class Ser2netServer {
  public:
    // Returns once it listens; ends the benchmark with its output if it
    // does not within a few seconds. With noDelay its accepted connections
    // send without Nagle's delay (tcp(nodelay)).
    Ser2netServer(const std::string& dir, const std::string& device, bool noDelay);
    ~Ser2netServer();
    Ser2netServer(const Ser2netServer&) = delete;
    Ser2netServer& operator=(const Ser2netServer&) = delete;

    std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
    // Ends the server and returns its user and system time in milliseconds.
    double Stop();

  private:
    std::string config_;
    uint16_t port_ = 0;
    pid_t pid_ = -1;
};

} // namespace bench
