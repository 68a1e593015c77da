#include "BoardFixture.h"

#include "frame/Faults.h"
#include "frame/ThreadContext.h"
#include "link/BusAccess.h"

void BoardTest::SetUp() {
    FrameTest::SetUp();
    TakeEscapeCalls();
}

void BoardTest::TearDown() {
    DisarmFaults();
    CloseAccessPort();
    Ctx().lines = ControlLines{};
    TakeEscapeCalls();
    if (board_) {
        board_->Stop();
    }
    board_.reset();
    mapping_.reset();
    FrameTest::TearDown();
}

void BoardTest::StartBoard(vtarget::BoardOptions options) {
    if (board_) {
        // A port left open would stay connected to the old board.
        CloseAccessPort();
        board_->Stop();
    }
    mapping_.reset(); // before the new mapping: its destructor unsets the variable
    if (options.baudRate == 115200) {
        options.baudRate = kFastRate;
    }
    options.linkPath = dir_->file("board");
    rate_ = options.baudRate;
    board_ = std::make_unique<vtarget::Board>(options);
    std::string error;
    ASSERT_TRUE(board_->Start(error)) << error;
    mapping_ = std::make_unique<ComPortMapping>(kPort, options.linkPath);
}

bool BoardTest::OpenLink(uint32_t busmode) {
    return OpenAccessPort(kPort, rate_, busmode, 0) == 1;
}

std::vector<uint8_t> BoardTest::ReceivedCodes() const {
    std::vector<uint8_t> codes;
    for (const auto& mail : board_->Mails()) {
        codes.push_back(mail.payload.empty() ? 0 : mail.payload[0]);
    }
    return codes;
}

std::vector<uint32_t> BoardTest::LineIndications() {
    std::vector<uint32_t> actions;
    for (const auto& i : Indications()) {
        if (i.code == COMPORT_CTRL_IND) {
            actions.push_back(i.long0 & 0xFFFF);
        }
    }
    return actions;
}
