// Fixture for boards that vanish: a board in this process is stopped, its
// pseudo-terminal closed with it, at a moment the test picks, and the test
// checks how the library noticed and what it left behind.
#pragma once

#include "BoardFixture.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace reliability {

using Clock = std::chrono::steady_clock;

// A vanished port fails the next read or write at once. The bound leaves
// room for a loaded machine and the sanitizers and lies below every
// response deadline (900 ms and more), which a busy wait would run out.
// Bus-mode word of the sessions: duplex.
constexpr uint32_t kDuplex = 2;

constexpr auto kNoticeBound = std::chrono::milliseconds(600);
// From the vanishing to the stop indication: the notice, and during a
// download the image's line time, which the library waits out after writing.
constexpr auto kStopBound = std::chrono::seconds(5);
// The worker closes the port and the log just before and after its stop
// indication.
constexpr auto kClosedBound = std::chrono::seconds(2);

// Records when the first MAIL_ERROR_IND arrived; an indication hook.
void NoteMailError(const IndicationRecord& record);
Clock::time_point FirstMailErrorAt();

// Withholds the board's answer to the nth request of a primitive and tells
// when that request has come, so that the board can vanish while the PC
// waits for the answer.
class AnswerWithheld {
  public:
    AnswerWithheld(vtarget::Board& board, uint8_t primitive, int nth);
    ~AnswerWithheld(); // the board answers normally again
    AnswerWithheld(const AnswerWithheld&) = delete;
    AnswerWithheld& operator=(const AnswerWithheld&) = delete;
    bool Wait(std::chrono::milliseconds timeout);

  private:
    vtarget::Board& board_;
    std::mutex mutex_;
    std::condition_variable reached_;
    bool withheld_ = false;
    int seen_ = 0; // on the board thread only
};

class VanishingBoardTest : public BoardTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Stops the board; returns when its pseudo-terminal is gone.
    Clock::time_point Vanish();
    // Waits until a boot loader is taking a monitor image.
    bool DownloadUnderWay(std::chrono::milliseconds timeout);
    // The session's or test mode's log is closed and its last line is the
    // stop indication's.
    void ExpectLogEndsWithStop(const std::string& prefix, uint16_t id);
};

} // namespace reliability
