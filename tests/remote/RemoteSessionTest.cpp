// Whole sessions, vorn and test mode through ser2net into the virtual board:
// the boot loaders at their odd rates, the monitor at the working rate, and
// the image in the board's flash afterwards.
#include "ChildProgram.h"
#include "RemoteFixture.h"
#include "SessionImages.h"
#include "frame/ThreadContext.h"
#include "serial/Sio.h"

#include <algorithm>
#include <gmock/gmock.h>

using ::testing::Contains;
using ::testing::ElementsAreArray;

struct RemoteCase {
    const char* name;
    int type;
    uint32_t flashBase;
    std::vector<uint32_t> rates; // the rates the PC set on the board's line, in order
};

inline std::ostream& operator<<(std::ostream& out, const RemoteCase& c) {
    return out << c.name;
}

const RemoteCase kRemoteCases[] = {
    {"ChipBootAt9600", 0, 0x080000, {9600, 921600}},
    {"ChipBootAt8600", 5, 0x080000, {8600, 9600, 921600}},
    {"AtmegaBootLoader", 10, 0, {115200, 921600}},
    {"Ml675001Rom", 14, 0xC8000000, {115200, 921600}},
};

class RemoteSessionTest : public RemoteBoardTest,
                          public ::testing::WithParamInterface<RemoteCase> {};

TEST_P(RemoteSessionTest, ImageLandsInFlashThroughSer2net) {
    const RemoteCase& c = GetParam();
    vtarget::BoardOptions options;
    options.targetType = c.type;
    ServeBoard(options);
    const auto image = testfiles::RandomBytes(0x1801, static_cast<uint32_t>(c.type));
    const auto codes = RunSession(static_cast<uint32_t>(c.type),
                                  WriteHexImage(*dir_, "image", {{c.flashBase, image}}), 1);
    EXPECT_THAT(codes, Contains(CRC_OK_IND));
    EXPECT_EQ(codes.back(), STOP_PROGRAM_IND);
    EXPECT_EQ(Board().ReadMemory(c.flashBase, static_cast<uint32_t>(image.size())), image);
    EXPECT_EQ(Board().GarbledBytes(), 0u);
    auto rates = Board().RateHistory();
    // ser2net opens the line at its configured 115200 first.
    rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
    EXPECT_THAT(
        std::vector<uint32_t>(rates.end() - std::min(rates.size(), c.rates.size()), rates.end()),
        ElementsAreArray(c.rates));
}

INSTANTIATE_TEST_SUITE_P(Types, RemoteSessionTest, ::testing::ValuesIn(kRemoteCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RemoteBoardTest, VornProgramsThroughAnRfc2217Port) {
    vtarget::BoardOptions options;
    options.targetType = 0;
    ServeBoard(options);
    ComPortMapping com3(3, server_->Url());
    const auto hex = WriteHexImage(*dir_, "image", {{0x080000, testfiles::RandomBytes(0x300, 4)}});
    testfiles::ChildProgram vorn(VORN_PROGRAM, {hex, "comport=3", "target=0", "busmode=2"});
    std::string output;
    for (std::string line; (line = vorn.ReadLine(std::chrono::seconds(30))).size() != 0;) {
        output += line;
    }
    EXPECT_EQ(vorn.Stop(0), 0) << output;
    EXPECT_THAT(output, ::testing::HasSubstr("CRC_OK_IND")) << output;
    EXPECT_THAT(output, ::testing::HasSubstr("STOP_PROGRAM_IND")) << output;
}

TEST_F(RemoteBoardTest, TestModeReadsWhatItWroteThroughAnRfc2217Port) {
    vtarget::BoardOptions options;
    options.monitorRunning = true;
    options.plainMemory = true;
    ServeBoard(options);
    ASSERT_EQ(TM_InitTestMode(2), 0u);
    ASSERT_EQ(TM_OpenAccessPort(kPort, kFastRate, kDuplex), ACCESS_PORT_OPEN);
    // 0xFF bytes travel doubled over telnet and must arrive single.
    auto bytes = testfiles::RandomBytes(3000, 11);
    std::fill_n(bytes.begin(), 64, 0xFF);
    std::vector<uint8_t> back(bytes.size());
    // ser2net answers only some of a burst of purges; the read after the
    // burst must not wait for the answers left out.
    for (int i = 0; i < 300; ++i) {
        ReInitBuffer();
    }
    EXPECT_EQ(TM_WriteMemory8(0x10000, static_cast<uint32_t>(bytes.size()), bytes.data()),
              MAIL_NO_ERROR);
    EXPECT_EQ(TM_ReadMemory8(0x10000, static_cast<uint32_t>(back.size()), back.data()),
              MAIL_NO_ERROR);
    EXPECT_EQ(back, bytes);
    TM_CloseAccessPort();
    TM_StopTestMode();
}
