#include "BoardFixture.h"

#include <thread>

void BoardTest::TearDown() {
    port_.Close();
    if (board_) {
        board_->Stop();
    }
}

void BoardTest::StartBoard(vtarget::BoardOptions options) {
    board_ = std::make_unique<vtarget::Board>(std::move(options));
    std::string error;
    ASSERT_TRUE(board_->Start(error)) << error;
    ASSERT_TRUE(port_.Open(board_->SlavePath(), board_->ExpectedBaudRate())) << board_->SlavePath();
}

void BoardTest::Send(const std::vector<uint8_t>& payload) {
    ASSERT_TRUE(port_.Write(Frame(++sequence_, payload)));
}

std::optional<std::vector<uint8_t>> BoardTest::Exchange(const std::vector<uint8_t>& payload) {
    Send(payload);
    const auto answer = ReadAnswer(port_, 2000ms);
    if (!answer) {
        return std::nullopt;
    }
    EXPECT_EQ(answer->sequence, sequence_);
    EXPECT_TRUE(answer->checksumOk);
    return answer->payload;
}

int BoardTest::Confirm(const std::vector<uint8_t>& payload, uint8_t expectedCode) {
    const auto answer = Exchange(payload);
    if (!answer || answer->size() != 2) {
        return -1;
    }
    EXPECT_EQ((*answer)[0], expectedCode);
    return (*answer)[1];
}

bool BoardTest::StaysQuiet(std::chrono::milliseconds quiet) {
    return port_.Read(1, quiet).empty();
}

std::vector<uint8_t> WriteMem8(uint32_t address, const std::vector<uint8_t>& data) {
    return Request(kWriteMem8).U32(address).U16(static_cast<uint16_t>(data.size())).Bytes(data);
}

std::vector<uint8_t> ReadMem8(uint32_t address, uint16_t count) {
    return Request(kReadMem8).U32(address).U16(count);
}

vtarget::BoardOptions RunningMonitor() {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    return options;
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(5ms);
    }
    return true;
}
