// A board that starts in its boot loader, and the PC's side of the chip and
// ARM boot loaders' byte exchange.
#pragma once

#include "BoardFixture.h"
#include "BootImages.h"

class BootTest : public BoardTest {
  protected:
    static constexpr uint8_t kPrompt = 0x02;
    static constexpr uint8_t kAcknowledge = 0x06;

    // Starts a board of the type in its boot loader, the port at its rate.
    void StartBootLoader(int type, vtarget::BoardOptions options = {});

    // Waits for the prompt as the PC does; true when it came first.
    bool SeesPrompt(std::chrono::milliseconds wait = 800ms, uint8_t prompt = kPrompt);
    // After a prompt: the header, the boot loader's 0x06, the image. The
    // answer to the image, if one comes within the wait.
    std::optional<uint8_t> SendImage(const std::vector<uint8_t>& image,
                                     std::chrono::milliseconds checksumWait = 1000ms);
    // A whole download the PC acknowledges; the stage it leads to.
    vtarget::Stage Download(const std::vector<uint8_t>& image);
};
