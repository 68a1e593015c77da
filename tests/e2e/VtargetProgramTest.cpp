// The library against the vtarget program in a process of its own, as users
// and the end-to-end tests of the tools run it.
#include "ChildProgram.h"
#include "PtyPeer.h"
#include "TestFiles.h"
#include "frame/ThreadContext.h"
#include "image/Crc32.h"
#include "image/HexFile.h"
#include "link/BusAccess.h"
#include "link/LinkState.h"
#include "link/Primitives.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>

TEST(VtargetProgramTest, WritesThroughTheLinkEndUpInTheDump) {
    testfiles::TempDir dir;
    const std::string link = dir.file("ttyV");
    const std::string dump = dir.file("board.hex");
    testfiles::ChildProgram program(VTARGET_PROGRAM, {"--link", link, "--monitor-running", "--baud",
                                                      "1000000", "--dump", dump});
    ASSERT_EQ(program.ReadLine(std::chrono::seconds(5)), "vtarget ready on " + link + "\n");

    ComPortMapping mapping(4, link);
    ResetLinkState();
    ASSERT_EQ(OpenAccessPort(4, 1000000, 2, 0), 1u);
    const auto bytes = testfiles::RandomBytes(1000, 5);
    EXPECT_EQ(MonWriteMem8(0x10000, 1000, bytes.data()), 0u);
    uint32_t crc = 0;
    EXPECT_EQ(MonCrc32(0x10000, 0x10000 + 999, &crc), 0u);
    EXPECT_EQ(crc, CalcCrc32(bytes.data(), 1000));
    CloseAccessPort();
    ASSERT_EQ(program.Stop(SIGTERM), 0);

    uint8_t* image = nullptr;
    uint32_t size = 0;
    uint32_t base = 0;
    ASSERT_EQ(ReadHexImage(dump.c_str(), 0, &image, &size, &base), 0u);
    EXPECT_EQ(base, 0x10000u);
    ASSERT_GE(size, 1000u);
    EXPECT_EQ(std::memcmp(image, bytes.data(), 1000), 0);
    std::free(image);
}
