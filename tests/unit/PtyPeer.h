// The far end of a pseudo-terminal for driver tests: the library opens the
// slave as its COM port, the test reads and writes the master.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyPeer {
  public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    void Write(const std::vector<uint8_t>& bytes);
    // Whatever arrives within the time, returning early once count bytes came.
    std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout);

  private:
    int master_ = -1;
    int slave_ = -1; // held open so that the master never sees a hang-up
    std::string slavePath_;
};

// Sets ULVEX_COM<port> for the lifetime of the object.
class ComPortMapping {
  public:
    ComPortMapping(unsigned port, const std::string& path);
    ~ComPortMapping();
    ComPortMapping(const ComPortMapping&) = delete;
    ComPortMapping& operator=(const ComPortMapping&) = delete;

  private:
    std::string name_;
};
