#include "BootFixture.h"

void BootTest::StartBootLoader(int type, vtarget::BoardOptions options) {
    options.targetType = type;
    options.monitorRunning = false;
    StartBoard(std::move(options));
}

bool BootTest::SeesPrompt(std::chrono::milliseconds wait, uint8_t prompt) {
    return port_.Read(1, wait) == std::vector<uint8_t>{prompt};
}

std::optional<uint8_t> BootTest::SendImage(const std::vector<uint8_t>& image,
                                           std::chrono::milliseconds checksumWait) {
    const auto size = image.size();
    EXPECT_TRUE(SeesPrompt());
    EXPECT_TRUE(port_.Write({0x01, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8)}));
    EXPECT_EQ(port_.Read(1, 500ms), std::vector<uint8_t>{kAcknowledge});
    EXPECT_TRUE(port_.Write(image));
    const auto answer = port_.Read(1, checksumWait);
    if (answer.empty()) {
        return std::nullopt;
    }
    return answer[0];
}

vtarget::Stage BootTest::Download(const std::vector<uint8_t>& image) {
    EXPECT_EQ(SendImage(image), XorOf(image));
    EXPECT_TRUE(port_.Write({kAcknowledge}));
    WaitFor([this] { return board_->CurrentStage() != vtarget::Stage::BootLoader; }, 500ms);
    return board_->CurrentStage();
}
