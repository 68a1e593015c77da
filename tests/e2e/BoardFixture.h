// Fixture for tests of the link protocol against a virtual board running in
// this process on a real pseudo-terminal, mapped to the library's COM port.
#pragma once

#include "FrameFixture.h"
#include "PtyPeer.h"

#include <cstdint>
#include <gmock/gmock.h>
#include <memory>
#include <string>
#include <vector>
#include <vtarget/Board.h>

// An image buffer as the HEX reader makes it: spare 0xFF bytes after the end.
inline std::vector<uint8_t> ImageOf(std::vector<uint8_t> bytes) {
    bytes.insert(bytes.end(), 3, 0xFF);
    return bytes;
}

// The text of an error log line as the host receives it: the line number
// (a pattern such as "3[0-9]{3}"), the module, the build's date and time.
inline ::testing::Matcher<std::string> IsErrorLogLine(const std::string& line,
                                                      const std::string& module) {
    return ::testing::MatchesRegex("## ERROR ## in Line\\(" + line + "\\) Module\\(" + module +
                                   "\\) Date\\([A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}\\) "
                                   "Time\\([0-9]{2}:[0-9]{2}:[0-9]{2}\\) ");
}

class BoardTest : public FrameTest {
  protected:
    static constexpr unsigned kPort = 9;
    // Fast enough that a full frame leaves the PC in under 50 ms.
    static constexpr uint32_t kFastRate = 1000000;

    void SetUp() override;
    void TearDown() override;

    // Starts the board and maps it to kPort; a board already running is
    // stopped and the access port to it closed.
    void StartBoard(vtarget::BoardOptions options = {});
    // Opens the access port at the board's rate.
    bool OpenLink(uint32_t busmode = 2);

    vtarget::Board& Board() { return *board_; }
    // Primitive codes of the requests the board received, oldest first.
    std::vector<uint8_t> ReceivedCodes() const;
    // Actions of the COMPORT_CTRL_IND indications so far.
    static std::vector<uint32_t> LineIndications();

  private:
    std::unique_ptr<vtarget::Board> board_;
    std::unique_ptr<ComPortMapping> mapping_;
    uint32_t rate_ = kFastRate;
};
