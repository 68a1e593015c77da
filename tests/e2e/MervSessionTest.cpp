// Whole sessions on MERV-A boards (types 3 and 16): FlashLoader against the
// virtual board from its chip boot loader to the restart, with images that
// srec_cat wrote. The board's flash, the mails it received and the
// indications are compared with what the image and the flash protocol ask.
#include "BoardFixture.h"
#include "SessionImages.h"
#include "link/BusAccess.h"
#include "link/MailPrimitives.h"
#include "link/Primitives.h"

#include <gmock/gmock.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <thread>

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;
using ::testing::Not;

namespace {

constexpr uint32_t kDuplex = 2;
constexpr uint32_t kWorkRate = 921600;
constexpr uint32_t kController = 0xAC00;
constexpr uint32_t kRestart = 0xFF67;
constexpr uint16_t kText = TEXT_INFO_IND;

// The image as the programmer sees it: lowest to highest address, gaps 0xFF.
std::vector<uint8_t> Flatten(const std::vector<Piece>& pieces) {
    const uint32_t start = pieces.front().address;
    std::vector<uint8_t> image;
    for (const Piece& p : pieces) {
        const size_t end = p.address - start + p.bytes.size();
        image.resize(std::max(image.size(), end), 0xFF);
        std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + (p.address - start));
    }
    return image;
}

uint32_t Crc(const std::vector<uint8_t>& bytes) {
    return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

uint32_t Le32(const std::vector<uint8_t>& p, size_t at) {
    return p[at] | p[at + 1] << 8 | p[at + 2] << 16 | uint32_t{p[at + 3]} << 24;
}

std::vector<uint16_t> Session(std::initializer_list<uint16_t> middle) {
    std::vector<uint16_t> codes = {START_PROGRAM_IND, DOWNLOAD_SUCCESS_IND, PROGRAM_SIZE_IND,
                                   PROGRAM_OFFSET_IND};
    codes.insert(codes.end(), middle);
    codes.push_back(STOP_PROGRAM_IND);
    return codes;
}

// 0x1800 bytes, a blank gap of 0x800, then 0x1001 bytes: odd size.
std::vector<Piece> GappedImage(uint32_t seed) {
    return {{0x0000, testfiles::RandomBytes(0x1800, seed)},
            {0x2000, testfiles::RandomBytes(0x1001, seed + 1)}};
}

// Mails counted when CRC_OK_IND reached the host.
std::atomic<size_t> mailsAtCrcOk{0};
std::atomic<vtarget::Board*> watchedBoard{nullptr};

void CountMailsAtCrcOk(const IndicationRecord& record) {
    if (record.code == CRC_OK_IND && watchedBoard.load() != nullptr) {
        mailsAtCrcOk = watchedBoard.load()->MailCount();
    }
}

} // namespace

class MervSessionTest : public BoardTest {
  protected:
    void TearDown() override {
        watchedBoard = nullptr;
        BoardTest::TearDown();
    }

    void StartMerv(int type, std::optional<uint32_t> corruptByte = std::nullopt) {
        vtarget::BoardOptions options;
        options.targetType = type;
        options.corruptWord = corruptByte;
        StartBoard(options);
    }

    // An Intel HEX file of the pieces, written by srec_cat.
    std::string HexImage(const std::vector<Piece>& pieces) {
        return WriteHexImage(*dir_, "image", pieces);
    }

    std::vector<uint16_t> RunSession(int type, const std::vector<Piece>& pieces) {
        const std::string hex = HexImage(pieces);
        EXPECT_EQ(FlashLoader(kPort, kDuplex, kWorkRate, static_cast<uint32_t>(type), hex.c_str(),
                              kSession),
                  FLASHLOADER_STARTED);
        EXPECT_TRUE(WaitForStop(kSession, std::chrono::seconds(60)));
        return CodesOf(kSession);
    }

    // The restart goes out unconfirmed as the session's last mail, so the
    // board may act on it just after the stop indication.
    std::optional<uint32_t> AwaitRestart() {
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(2);
        while (!Board().RestartAddress() && std::chrono::steady_clock::now() < until) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return Board().RestartAddress();
    }

    // Address and value of every one-byte WRITE_MEM8_REQ, in order.
    std::vector<std::pair<uint32_t, uint8_t>> ByteWrites() {
        std::vector<std::pair<uint32_t, uint8_t>> writes;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == WRITE_MEM8_REQ && p.size() == 8) {
                writes.emplace_back(Le32(p, 1), p[7]);
            }
        }
        return writes;
    }

    std::vector<uint8_t> ControllerCommands() {
        std::vector<uint8_t> commands;
        for (const auto& [address, value] : ByteWrites()) {
            if (address == kController) {
                commands.push_back(value);
            }
        }
        return commands;
    }

    // Index in Mails() of the first request of the primitive to the address.
    size_t IndexOf(uint8_t code, uint32_t address) {
        const auto mails = Board().Mails();
        for (size_t i = 0; i < mails.size(); ++i) {
            if (mails[i].payload[0] == code && Le32(mails[i].payload, 1) == address) {
                return i;
            }
        }
        return mails.size();
    }

    // Address and byte count of every programming request, in order.
    std::vector<std::pair<uint32_t, uint32_t>> ProgrammingMails() {
        std::vector<std::pair<uint32_t, uint32_t>> mails;
        for (const auto& mail : Board().Mails()) {
            const auto& p = mail.payload;
            if (p[0] == PROG_INT_FLASH_REQ) {
                mails.emplace_back(Le32(p, 1), p[5] | p[6] << 8);
            }
        }
        return mails;
    }

    static std::vector<uint32_t> ValuesOf(uint16_t code) {
        std::vector<uint32_t> values;
        for (const auto& i : IndicationsOf(kSession)) {
            if (i.code == code) {
                values.push_back(i.long0);
            }
        }
        return values;
    }

    static RecordedIndication Only(uint16_t code) {
        for (const auto& i : IndicationsOf(kSession)) {
            if (i.code == code) {
                return i;
            }
        }
        ADD_FAILURE() << "no indication " << code;
        return {};
    }

    // What the monitor, still running after the session, reads at address.
    std::vector<uint8_t> MonitorReads(uint32_t address, uint32_t count) {
        std::vector<uint8_t> bytes(count);
        EXPECT_EQ(OpenAccessPort(kPort, kWorkRate, kDuplex, 0), 1u);
        EXPECT_EQ(MonReadMem8(address, count, bytes.data()), 0u);
        CloseAccessPort();
        return bytes;
    }

    static constexpr uint16_t kSession = 3;
};

class MervTypeTest : public MervSessionTest, public ::testing::WithParamInterface<int> {};

TEST_P(MervTypeTest, ImageLandsInFlashAndTheBoardRestarts) {
    const int type = GetParam();
    StartMerv(type);
    const auto pieces = GappedImage(static_cast<uint32_t>(type));
    const auto image = Flatten(pieces);
    const auto codes = RunSession(type, pieces);

    EXPECT_THAT(Collapsed(codes),
                ElementsAreArray(
                    Session({CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND, PROGRAM_PROGRESS_IND,
                             PROGRAMMING_SUCCESS_IND, CRC_OK_IND, RESET_TARGET_IND})));
    EXPECT_EQ(Board().ReadMemory(0, static_cast<uint32_t>(image.size())), image);
    EXPECT_EQ(Board().ReadMemory(static_cast<uint32_t>(image.size()), 1),
              std::vector<uint8_t>{0xFF});
    EXPECT_EQ(Board().FlashOverwrites(), 0u);
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(0));
    EXPECT_EQ(ValuesOf(PROGRAM_SIZE_IND), std::vector<uint32_t>{0x3001});
    EXPECT_EQ(ValuesOf(PROGRAM_OFFSET_IND), std::vector<uint32_t>{0});
    // The odd-sized image is verified over exactly its bytes on both sides.
    const auto crc = Only(CRC_OK_IND);
    EXPECT_EQ(crc.long0, Crc(image));
    EXPECT_EQ(crc.long1, Crc(image));

    const bool protect = type == 16;
    std::vector<uint8_t> commands = {0x03, 0x00, 0x43, 0x00, 0x01, 0x00, 0x41, 0x00};
    std::vector<vtarget::WordWrite> info = {{0x0002, 0x70}, {0x0003, 0x50}};
    if (protect) {
        commands.insert(commands.end(), {0x41, 0x00});
        info.insert(info.end(), {{0x0004, 0x00}, {0x0005, 0x00}});
    }
    EXPECT_THAT(ControllerCommands(), ElementsAreArray(commands));
    EXPECT_THAT(Board().InfoBlockWrites(), ElementsAreArray(info));
    EXPECT_EQ(ByteWrites().back(), (std::pair<uint32_t, uint8_t>{kRestart, 0x80}));
    EXPECT_EQ(Board().Mails().back().payload[0], WRITE_MEM8_REQ) << "the restart comes last";

    // The protected board answers its monitor's reads of the flash with 0xFF.
    EXPECT_EQ(MonitorReads(0x10, 16),
              protect ? std::vector<uint8_t>(16, 0xFF)
                      : std::vector<uint8_t>(image.begin() + 0x10, image.begin() + 0x20));
}

INSTANTIATE_TEST_SUITE_P(Merv, MervTypeTest, ::testing::Values(3, 16),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return "Type" + std::to_string(info.param);
                         });

TEST_F(MervSessionTest, ProtectionFollowsTheMatchingCrcAndPrecedesTheRestart) {
    StartMerv(16);
    watchedBoard = &Board();
    SetIndicationHook(CountMailsAtCrcOk);
    const auto pieces = GappedImage(30);
    RunSession(16, pieces);
    ASSERT_EQ(AwaitRestart(), std::optional<uint32_t>(0));

    const size_t crc = IndexOf(CALC_CRC32_REQ, 0);
    const size_t low = IndexOf(WRITE_MEM8_REQ, 0x0004);
    const size_t high = IndexOf(WRITE_MEM8_REQ, 0x0005);
    const size_t restart = IndexOf(WRITE_MEM8_REQ, kRestart);
    EXPECT_LT(crc, low);
    EXPECT_LT(low, high);
    EXPECT_LT(high, restart);
    EXPECT_EQ(restart + 1, Board().MailCount());
    // CRC_OK_IND went out before any of the protection's mails.
    EXPECT_EQ(mailsAtCrcOk.load(), crc + 1);
    const auto codes = CodesOf(kSession);
    ASSERT_GE(codes.size(), 3u);
    EXPECT_THAT(std::vector<uint16_t>(codes.end() - 3, codes.end()),
                ElementsAre(CRC_OK_IND, RESET_TARGET_IND, STOP_PROGRAM_IND));
}

TEST_F(MervSessionTest, CrcMismatchLeavesTheBoardUnprotectedAndRunningTheMonitor) {
    StartMerv(16, 0x1234);
    const auto pieces = GappedImage(31);
    const auto image = Flatten(pieces);
    const auto codes = RunSession(16, pieces);

    EXPECT_THAT(
        Collapsed(codes),
        ElementsAreArray(Session({CHIP_ERASE_START_IND, CHIP_ERASE_FINISHED_IND,
                                  PROGRAM_PROGRESS_IND, PROGRAMMING_SUCCESS_IND, CRC_ERROR_IND})));
    const auto crc = Only(CRC_ERROR_IND);
    EXPECT_EQ(crc.long0, Crc(image));
    EXPECT_NE(crc.long1, crc.long0);
    for (const auto& [address, value] : ByteWrites()) {
        EXPECT_TRUE(address != 0x0004 && address != 0x0005 && address != kRestart)
            << std::hex << address;
    }
    EXPECT_THAT(Board().InfoBlockWrites(),
                ElementsAre(vtarget::WordWrite{0x0002, 0x70}, vtarget::WordWrite{0x0003, 0x50}));
    EXPECT_FALSE(Board().RestartAddress().has_value());
    EXPECT_EQ(MonitorReads(0x1230, 4),
              std::vector<uint8_t>(image.begin() + 0x1230, image.begin() + 0x1234));
}

TEST_F(MervSessionTest, OddImageOfOneBlockAndOneByte) {
    StartMerv(3);
    const std::vector<Piece> pieces = {{0x0000, testfiles::RandomBytes(513, 32)}};
    const auto codes = RunSession(3, pieces);
    EXPECT_EQ(ValuesOf(PROGRAM_PROGRESS_IND), (std::vector<uint32_t>{0x0000, 0x0201}));
    EXPECT_THAT(ProgrammingMails(), ElementsAre(std::pair<uint32_t, uint32_t>{0x0000, 512},
                                                std::pair<uint32_t, uint32_t>{0x0200, 1}));
    // Exactly 513 bytes on both sides of the CRC.
    const auto mails = Board().Mails();
    const auto& request = mails[IndexOf(CALC_CRC32_REQ, 0)].payload;
    EXPECT_EQ(Le32(request, 5), 0x0200u);
    EXPECT_EQ(Only(CRC_OK_IND).long0, Crc(pieces[0].bytes));
    EXPECT_EQ(Board().ReadMemory(0, 514), Flatten({pieces[0], {0x0201, {0xFF}}}));
    EXPECT_THAT(codes, Contains(RESET_TARGET_IND));
}

TEST_F(MervSessionTest, BlankImageSendsNoProgrammingMailButStillTheMarker) {
    StartMerv(3);
    const std::vector<Piece> pieces = {{0x0000, std::vector<uint8_t>(0x500, 0xFF)}};
    const auto codes = RunSession(3, pieces);
    EXPECT_THAT(ProgrammingMails(), IsEmpty());
    EXPECT_EQ(ValuesOf(PROGRAM_PROGRESS_IND), (std::vector<uint32_t>{0x0000, 0x0200, 0x0500}));
    EXPECT_THAT(Board().InfoBlockWrites(),
                ElementsAre(vtarget::WordWrite{0x0002, 0x70}, vtarget::WordWrite{0x0003, 0x50}));
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_EQ(AwaitRestart(), std::optional<uint32_t>(0));
}

TEST_F(MervSessionTest, SmallImageStillErasesAllFourSectorsTwice) {
    StartMerv(3);
    const std::vector<Piece> pieces = {{0x0100, testfiles::RandomBytes(0x100, 33)}};
    RunSession(3, pieces);
    std::vector<uint32_t> erased;
    const auto writes = ByteWrites();
    for (size_t i = 0; i + 2 < writes.size(); ++i) {
        if (writes[i] == std::pair<uint32_t, uint8_t>{0x5555, 0xAA} &&
            writes[i + 1] == std::pair<uint32_t, uint8_t>{0xAAAA, 0x55} &&
            writes[i + 2].second == 0x55) {
            erased.push_back(writes[i + 2].first);
        }
    }
    EXPECT_THAT(erased,
                ElementsAre(0x40000, 0x20000, 0x8000, 0x0000, 0x40000, 0x20000, 0x8000, 0x0000));
    EXPECT_EQ(Board().ReadMemory(0x0100, 0x100), pieces[0].bytes);
    EXPECT_EQ(ValuesOf(PROGRAM_OFFSET_IND), std::vector<uint32_t>{0x0100});
}

// A failure deep inside the flash protocol is reported once per level with
// a text naming the check, and the session adds a last MAIL_ERROR_IND.
void ExpectReportChain(const std::vector<RecordedIndication>& tail, uint32_t code, int levels) {
    ASSERT_EQ(tail.size(), static_cast<size_t>(2 * levels + 2));
    for (int level = 0; level < levels; ++level) {
        EXPECT_EQ(tail[2 * level].code, MAIL_ERROR_IND);
        EXPECT_EQ(tail[2 * level].long0 & 0xFFFF, code);
        EXPECT_THAT(tail[2 * level + 1].text, IsErrorLogLine("1[0-9]{3}", "ProgMerv"));
    }
    EXPECT_EQ(tail[2 * levels].code, MAIL_ERROR_IND);
    EXPECT_EQ(tail[2 * levels].long0 & 0xFFFF, code);
    EXPECT_EQ(tail[2 * levels].text, "");
    EXPECT_EQ(tail.back().code, STOP_PROGRAM_IND);
}

TEST_F(MervSessionTest, UnansweredProgrammingMailStopsTheSession) {
    StartMerv(3);
    auto answered = std::make_shared<std::atomic<int>>(0);
    Board().SetReplyOverride(
        [answered](const vtarget::ReceivedMail& mail) -> std::optional<std::vector<uint8_t>> {
            if (mail.payload[0] == PROG_INT_FLASH_REQ && ++*answered > 2) {
                return std::vector<uint8_t>{};
            }
            return std::nullopt;
        });
    const auto pieces = GappedImage(34);
    const auto codes = RunSession(3, pieces);
    // Two blocks answered, the third sent three times.
    EXPECT_EQ(ProgrammingMails().size(), 5u);
    EXPECT_THAT(codes, Not(Contains(PROGRAMMING_SUCCESS_IND)));
    EXPECT_THAT(codes, Not(Contains(CRC_OK_IND)));
    EXPECT_FALSE(Board().RestartAddress().has_value());
    // Reported by the programming step and by the flash sequence.
    const auto indications = IndicationsOf(kSession);
    ASSERT_GE(indications.size(), 6u);
    ExpectReportChain({indications.end() - 6, indications.end()}, MAIL_TIMEOUT, 2);
}

TEST_F(MervSessionTest, ControllerStuckBusyFailsAfterFiveSeconds) {
    vtarget::BoardOptions options;
    options.targetType = 3;
    options.stuckBusy = true;
    StartBoard(options);
    const auto start = std::chrono::steady_clock::now();
    const auto codes = RunSession(3, GappedImage(35));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_THAT(Collapsed(codes), ElementsAreArray(Session(
                                      {CHIP_ERASE_START_IND, MAIL_ERROR_IND, kText, MAIL_ERROR_IND,
                                       kText, MAIL_ERROR_IND, kText, MAIL_ERROR_IND})));
    // Sector erase, erase pass and flash sequence report the time-out.
    const auto indications = IndicationsOf(kSession);
    ExpectReportChain({indications.end() - 8, indications.end()}, 1, 3);
    // Only the first sector's unlock sequence went out.
    EXPECT_EQ(std::ranges::count(ByteWrites(), std::pair<uint32_t, uint8_t>{0x5555, 0xAA}), 1);
}
