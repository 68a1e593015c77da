// MERV-A boards (types 3, 4, 8, 9, 16) over the board's real
// pseudo-terminal, driven with byte mails as the PC's MERV programmer
// drives them: the flash controller at 0xAC00, the sector unlock sequence,
// both erase passes, byte programming by the AND rule, the marker and
// protection bytes, the restart and the read protection after it.
#include "BoardFixture.h"
#include "TestFiles.h"

#include <zlib.h>

namespace {

constexpr uint32_t kController = 0xAC00;
constexpr uint32_t kRestart = 0xFF67;
constexpr uint8_t kBusy = 0x18;
constexpr uint8_t kFirstErase = 0x03;
constexpr uint8_t kSecondErase = 0x43;
constexpr uint8_t kProgram = 0x01;
constexpr uint8_t kInfo = 0x41;
constexpr uint8_t kEnd = 0x00;
constexpr uint32_t kSectors[] = {0x40000, 0x20000, 0x8000, 0x0000};

uint32_t Crc(const std::vector<uint8_t>& bytes) {
    return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

class MervTest : public BoardTest {
  protected:
    static vtarget::BoardOptions Merv(int targetType = 3) {
        auto options = RunningMonitor();
        options.targetType = targetType;
        return options;
    }

    // Confirmed WRITE_MEM8 of one byte; the status, -1 without answer.
    int Write8(uint32_t address, uint8_t value) {
        return Confirm(WriteMem8(address, {value}), kWriteMem8 + 1);
    }

    std::vector<uint8_t> Read(uint32_t address, uint16_t count) {
        const auto answer = Exchange(ReadMem8(address, count));
        if (!answer || answer->empty()) {
            return {};
        }
        return {answer->begin() + 1, answer->end()};
    }

    int Read8(uint32_t address) {
        const auto bytes = Read(address, 1);
        return bytes.size() == 1 ? bytes[0] : -1;
    }

    bool WaitNotBusy(uint8_t mask, std::chrono::milliseconds timeout = 2000ms) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            const int value = Read8(kController);
            if (value >= 0 && (value & mask) == 0) {
                return true;
            }
        }
        return false;
    }

    void Unlock(uint32_t sector, uint8_t last = 0x55) {
        ASSERT_EQ(Write8(0x5555, 0xAA), 1);
        ASSERT_EQ(Write8(0xAAAA, 0x55), 1);
        ASSERT_EQ(Write8(sector, last), 1);
        ASSERT_TRUE(WaitNotBusy(kBusy));
    }

    void EraseSector(uint32_t sector, uint8_t command) {
        ASSERT_EQ(Write8(kController, command), 1);
        Unlock(sector);
        ASSERT_EQ(Write8(kController, kEnd), 1);
    }

    void EraseFully(uint32_t sector) {
        EraseSector(sector, kFirstErase);
        EraseSector(sector, kSecondErase);
    }

    // PROG_INT_FLASH_REQ with a byte count; the status.
    int Program(uint32_t address, const std::vector<uint8_t>& bytes, uint8_t code = kProgIntFlash) {
        const auto request =
            Request(code).U32(address).U16(static_cast<uint16_t>(bytes.size())).Bytes(bytes);
        return Confirm(request, static_cast<uint8_t>(code + 1));
    }

    void WriteInfo(uint32_t address, std::vector<uint8_t> bytes) {
        ASSERT_EQ(Write8(kController, kInfo), 1);
        for (uint8_t b : bytes) {
            ASSERT_EQ(Write8(address++, b), 1);
        }
        ASSERT_EQ(Write8(kController, kEnd), 1);
    }

    void RestartBoard() {
        ASSERT_EQ(Write8(kRestart, 0x80), 1);
        ASSERT_TRUE(WaitFor([this] { return board_->RestartAddress().has_value(); }));
    }

    std::vector<uint8_t> ControllerCommands() const {
        std::vector<uint8_t> commands;
        for (const auto& write : board_->RegisterWrites()) {
            if (write.address == kController) {
                commands.push_back(static_cast<uint8_t>(write.value));
            }
        }
        return commands;
    }
};

TEST_F(MervTest, EveryMervTypeCarriesTheControllerAndTheFlash) {
    for (int type : {3, 4, 8, 9, 16}) {
        StartBoard(Merv(type));
        EXPECT_EQ(Read8(kController), 0x00) << type;
        ASSERT_EQ(Write8(kController, kProgram), 1);
        EXPECT_EQ(Read8(kController) & ~kBusy, kProgram) << type;
        EXPECT_EQ(Program(0x100, {0x12}), 0) << type << ": never erased";
        EXPECT_EQ(ControllerCommands(), std::vector<uint8_t>{kProgram}) << type;
        port_.Close();
        board_->Stop();
    }
}

TEST_F(MervTest, SectorErasesOnlyUnderAnEraseCommandAndTakesDataAfterBothPasses) {
    StartBoard(Merv());
    EraseFully(0x0000);
    EraseFully(0x8000);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    ASSERT_EQ(Program(0x7FFE, {0x11, 0x22, 0x33, 0x44}), 1); // across two sectors
    // The unlock sequence erases nothing under the program command, out of
    // order, with another last byte or at an address that starts no sector.
    Unlock(0x0000);
    ASSERT_EQ(Write8(kController, kFirstErase), 1);
    ASSERT_EQ(Write8(0xAAAA, 0x55), 1);
    ASSERT_EQ(Write8(0x5555, 0xAA), 1);
    ASSERT_EQ(Write8(0x0000, 0x55), 1);
    Unlock(0x0000, 0x30);
    Unlock(0x0100);
    EXPECT_EQ(Read(0x7FFE, 4), (std::vector<uint8_t>{0x11, 0x22, 0x33, 0x44}));

    // A first pass clears its sector alone; the sector then refuses data
    // until the second pass has run.
    Unlock(0x0000);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    EXPECT_EQ(Read(0x7FFE, 4), (std::vector<uint8_t>{0xFF, 0xFF, 0x33, 0x44}));
    EXPECT_EQ(Program(0x7FFE, {0x00}), 0);
    EXPECT_EQ(Program(0x8000, {0x03}), 1) << "the other sector stays ready";
    EraseSector(0x0000, kSecondErase);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    EXPECT_EQ(Program(0x7FFE, {0x00}), 1);
    EXPECT_EQ(board_->FlashOverwrites(), 0u);
}

TEST_F(MervTest, ProgrammingClearsBitsOnlyInsideTheErasedFlash) {
    StartBoard(Merv());
    for (uint32_t sector : kSectors) {
        EraseFully(sector);
    }
    EXPECT_EQ(Program(0x1000, {0x5A}), 0) << "no program command";
    ASSERT_EQ(Write8(kController, kProgram), 1);
    EXPECT_EQ(Program(0x1000, {0xF0, 0x0F, 0xFF}), 1);
    EXPECT_EQ(Program(0x1000, {0x3C, 0x0F}), 1);
    EXPECT_EQ(Read(0x1000, 3), (std::vector<uint8_t>{0x30, 0x0F, 0xFF}));
    EXPECT_EQ(board_->FlashOverwrites(), 1u) << "0xF0 then 0x3C needed an erase";
    // The last byte of the flash, and one past it; the external flash path.
    EXPECT_EQ(Program(0x5FFFF, {0x01}), 1);
    EXPECT_EQ(Program(0x5FFFF, {0x01, 0x02}), 0);
    EXPECT_EQ(Program(0x60000, {0x01}), 0);
    EXPECT_EQ(Program(0x2000, {0x01}, kProgExtFlash), 0);
    // Memory writes do not reach the flash cells; above it is RAM.
    EXPECT_EQ(Write8(0x2000, 0x00), 1);
    EXPECT_EQ(Read8(0x2000), 0xFF);
    EXPECT_EQ(Write8(0x60000, 0x42), 1);
    EXPECT_EQ(Read8(0x60000), 0x42);
}

TEST_F(MervTest, ControllerShowsBusyBitsAfterCommandsUnlockBytesAndProgramming) {
    auto options = Merv();
    options.flashStepTime = 300ms;
    StartBoard(options);
    ASSERT_EQ(Write8(kController, kFirstErase), 1);
    EXPECT_EQ(Read8(kController), kFirstErase | kBusy);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitNotBusy(kBusy));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
    EXPECT_EQ(Read8(kController), kFirstErase);
    ASSERT_EQ(Write8(0x5555, 0xAA), 1);
    EXPECT_EQ(Read8(kController), kFirstErase | kBusy);
}

TEST_F(MervTest, StuckControllerStaysBusy) {
    auto options = Merv();
    options.stuckBusy = true;
    StartBoard(options);
    EXPECT_EQ(Read8(kController), 0x00) << "idle until a command comes";
    ASSERT_EQ(Write8(kController, kFirstErase), 1);
    EXPECT_FALSE(WaitNotBusy(0x08, 500ms));
}

TEST_F(MervTest, BytesBesideTheArrayStoreOnlyUnderTheInfoCommand) {
    StartBoard(Merv());
    EraseFully(0x0000);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    ASSERT_EQ(Program(0x0000, {0x02, 0x00, 0x80, 0x12, 0x34, 0x56}), 1);
    ASSERT_EQ(Write8(kController, kEnd), 1);
    ASSERT_EQ(Write8(0x0002, 0x70), 1);
    EXPECT_TRUE(board_->InfoBlockWrites().empty());

    WriteInfo(0x0001, {0xAB, 0x70, 0x50, 0x00, 0x00, 0xCD});
    EXPECT_EQ(board_->InfoBlockWrites(),
              (std::vector<vtarget::WordWrite>{
                  {0x0002, 0x70}, {0x0003, 0x50}, {0x0004, 0x00}, {0x0005, 0x00}}));
    EXPECT_EQ(Read(0x0000, 6), (std::vector<uint8_t>{0x02, 0x00, 0x80, 0x12, 0x34, 0x56}))
        << "the array keeps the image's bytes";
    EXPECT_EQ(ControllerCommands(), (std::vector<uint8_t>{kFirstErase, kEnd, kSecondErase, kEnd,
                                                          kProgram, kEnd, kInfo, kEnd}));
    // The marker again over itself needs no erase; another value does.
    WriteInfo(0x0002, {0x70, 0x51});
    EXPECT_EQ(board_->FlashOverwrites(), 1u);
}

TEST_F(MervTest, RestartedBoardWithProtectionBytesReadsItsFlashAsErased) {
    StartBoard(Merv(16));
    EraseFully(0x0000);
    EraseFully(0x8000);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    const std::vector<uint8_t> data{1, 2, 3, 4, 5};
    ASSERT_EQ(Program(0x7FFE, data), 1);
    WriteInfo(0x0004, {0x00, 0x00});
    EXPECT_EQ(Read(0x7FFE, 5), data) << "not before the restart";
    ASSERT_EQ(Write8(kRestart, 0x40), 1);
    EXPECT_FALSE(board_->RestartAddress());

    RestartBoard();
    EXPECT_EQ(*board_->RestartAddress(), 0u);
    EXPECT_EQ(Read(0x7FFE, 5), std::vector<uint8_t>(5, 0xFF));
    const auto crc = Exchange(Request(kCrc32).U32(0x7FFE).U32(0x8002));
    ASSERT_TRUE(crc && crc->size() == 5);
    EXPECT_EQ(Le32At(*crc, 1), Crc(std::vector<uint8_t>(5, 0xFF)));
    EXPECT_EQ(board_->ReadMemory(0x7FFE, 5), data) << "the cells themselves are unchanged";
    EXPECT_EQ(Read8(kController) & ~kBusy, kEnd) << "registers stay readable";

    // Erasing the first sector clears the protection bytes with it.
    EraseFully(0x0000);
    EXPECT_EQ(Read(0x7FFE, 5), (std::vector<uint8_t>{0xFF, 0xFF, 3, 4, 5}));
}

TEST_F(MervTest, RestartWithoutBothProtectionBytesLeavesTheFlashReadable) {
    StartBoard(Merv(3));
    EraseFully(0x0000);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    ASSERT_EQ(Program(0x0010, {0x77}), 1);
    WriteInfo(0x0002, {0x70, 0x50, 0x00}); // only 0x0004
    RestartBoard();
    EXPECT_EQ(Read8(0x0010), 0x77);
}

TEST_F(MervTest, RegistersShadowTheFlashWhileTheCrcReadsItsCells) {
    StartBoard(Merv());
    EraseFully(0x8000);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    const auto data = testfiles::RandomBytes(0x5401, 7); // 0xABF0..0xFFF0, odd size
    for (uint32_t offset = 0; offset < data.size(); offset += 0x1000) {
        const auto end = std::min<size_t>(data.size(), offset + 0x1000);
        const std::vector<uint8_t> block(data.begin() + offset, data.begin() + end);
        ASSERT_EQ(Program(0xABF0 + offset, block), 1);
    }
    ASSERT_EQ(Write8(kController, kEnd), 1);
    ASSERT_TRUE(WaitNotBusy(kBusy));
    const auto around = Read(0xABFF, 3);
    EXPECT_EQ(around, (std::vector<uint8_t>{data[0x0F], kEnd, data[0x11]}));
    EXPECT_EQ(Read8(kRestart), 0x00);
    // The CRC counts exactly the range's bytes, the flash cells beneath the
    // registers included.
    const auto crc = Exchange(Request(kCrc32).U32(0xABF0).U32(0xABF0 + 0x5400));
    ASSERT_TRUE(crc && crc->size() == 5);
    EXPECT_EQ(Le32At(*crc, 1), Crc(data));
    EXPECT_EQ(board_->ReadMemory(0xABF0, 0x5401), data);
}

TEST_F(MervTest, CorruptWordFlipsTheProgrammedByte) {
    auto options = Merv();
    options.corruptWord = 0x0003;
    StartBoard(options);
    EraseFully(0x0000);
    ASSERT_EQ(Write8(kController, kProgram), 1);
    ASSERT_EQ(Program(0x0000, {0x10, 0x20, 0x30, 0x40}), 1);
    EXPECT_EQ(Read(0x0000, 4), (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x41}));
}

} // namespace
