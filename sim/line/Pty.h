// The board's end of a pseudo-terminal pair. The board keeps a descriptor
// of the slave open for its whole life: with no slave open the master reads
// EIO, and this way the PC side may close and reopen the slave freely.
#pragma once

#include <cstdint>
#include <string>

namespace vtarget {

class Pty {
  public:
    Pty() = default;
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    // Opens a raw pair whose line starts at the given rate.
    bool Open(uint32_t baudRate, std::string& error);
    void Close();

    int Master() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }

  private:
    bool OpenSlave(std::string& error);

    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace vtarget
