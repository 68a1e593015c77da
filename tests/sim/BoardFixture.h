// Runs a board and talks to it over its pseudo-terminal as the PC would.
#pragma once

#include "Mail.h"
#include "PcPort.h"

#include <vtarget/Board.h>

#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

// Primitive codes as the PC knows them.
enum : uint8_t {
    kReadMem8 = 1,
    kWriteMem8 = 3,
    kReadMem16 = 5,
    kWriteMem16 = 7,
    kProgIntFlash = 9,
    kProgExtFlash = 11,
    kProgExt2Flash8 = 13,
    kSectorErase = 15,
    kBlockErase = 17,
    kChipErase = 19,
    kFlashType = 21,
    kChecksum = 23,
    kCrc32 = 25,
    kSetConfig = 27,
    kSetProgCmdAddress = 29,
    kGoFromAddress = 31,
    kSetBaudRate = 33,
    kGetVersion = 35,
};

using namespace std::chrono_literals;

class BoardTest : public testing::Test {
  protected:
    void TearDown() override;

    // Starts a board and opens its port at the rate the board expects
    // first: its monitor's with monitorRunning, otherwise its boot loader's.
    void StartBoard(vtarget::BoardOptions options = {});

    // Sends a request with the next sequence number.
    void Send(const std::vector<uint8_t>& payload);
    // Sends a request and reads the answer, which must carry the request's
    // sequence number and a good checksum.
    std::optional<std::vector<uint8_t>> Exchange(const std::vector<uint8_t>& payload);
    // Status byte of a confirm, or -1 when none came.
    int Confirm(const std::vector<uint8_t>& payload, uint8_t expectedCode);
    // True when nothing arrives for a while.
    bool StaysQuiet(std::chrono::milliseconds quiet = 250ms);

    std::unique_ptr<vtarget::Board> board_;
    PcPort port_;
    uint8_t sequence_ = 0x40;
};

// Options of a board whose monitor runs from the start.
vtarget::BoardOptions RunningMonitor();

// Polls the condition until it holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 2000ms);

std::vector<uint8_t> WriteMem8(uint32_t address, const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadMem8(uint32_t address, uint16_t count);
