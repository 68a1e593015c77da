// The PC's end of the board's port, opened and used like a serial device.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PcPort {
  public:
    PcPort() = default;
    ~PcPort();
    PcPort(const PcPort&) = delete;
    PcPort& operator=(const PcPort&) = delete;

    // Opens the device raw at the given rate and clears what waits in it.
    bool Open(const std::string& path, uint32_t baudRate, bool twoStopBits = false);
    void Close();
    bool SetRate(uint32_t baudRate, bool twoStopBits = false);
    // XON/XOFF output flow control, off after Open().
    bool SetXonXoff(bool on);

    bool Write(const std::vector<uint8_t>& bytes);
    // Whatever arrives within the time, returning early once count bytes came.
    std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout);
    // Everything until the line has been quiet for the given time.
    std::vector<uint8_t> ReadUntilQuiet(std::chrono::milliseconds quiet);
    // Reads until the board closes its end; false if it stays open.
    bool SeesHangUp(std::chrono::milliseconds timeout);

  private:
    int fd_ = -1;
};
