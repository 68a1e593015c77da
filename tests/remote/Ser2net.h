// A ser2net process that serves one device (a board's pseudo-terminal) on
// 127.0.0.1, started by the test with a configuration of its own on a free
// TCP port and stopped with it. What it prints goes to a file beside the
// configuration, so that a full pipe never stalls it.
#pragma once

#include "TestFiles.h"

#include <cstdint>
#include <string>
#include <sys/types.h>

class Ser2net {
  public:
    // accepter: "telnet(rfc2217)" for an RFC 2217 port, "" for raw TCP.
    Ser2net(const testfiles::TempDir& dir, const std::string& device,
            const std::string& accepter = "telnet(rfc2217)");
    ~Ser2net();
    Ser2net(const Ser2net&) = delete;
    Ser2net& operator=(const Ser2net&) = delete;

    // Whether it listens; if not, error says why.
    bool Listening() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    uint16_t TcpPort() const { return port_; }
    // rfc2217://127.0.0.1:PORT, or socket://... for raw TCP.
    std::string Url() const;
    // Ends the server at once, as a crash or a pulled network cable would.
    void Kill();

  private:
    bool telnet_;
    uint16_t port_ = 0;
    std::string error_;
    pid_t pid_ = -1;
};

// A TCP port on 127.0.0.1 that nothing listens on (just released).
uint16_t FreeTcpPort();
// Descriptors of this process that are sockets.
size_t OpenSockets();
