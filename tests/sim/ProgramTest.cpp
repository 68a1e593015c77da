// The vtarget program as users run it: ready line, one mail over the link,
// a signal to stop, the dump and the link afterwards; bad command lines.
#include "BoardFixture.h"
#include "ChildProgram.h"
#include "TestFiles.h"

#include <csignal>
#include <filesystem>

namespace {

using testfiles::RunCommand;
using testfiles::TempDir;

// A running vtarget whose standard output and error the test reads.
class Program : public testfiles::ChildProgram {
  public:
    explicit Program(const std::vector<std::string>& args) : ChildProgram(VTARGET_PROGRAM, args) {}
};

// Prints the bytes python3-intelhex reads from a HEX file, erased as FF.
const char* const kDumpReader = R"(import sys
from intelhex import IntelHex
ih = IntelHex(sys.argv[1])
print(len(ih))
for arg in sys.argv[2:]:
    start, size = (int(x, 0) for x in arg.split(':'))
    print(bytes(ih.tobinarray(start=start, size=size)).hex())
)";

bool HaveIntelHex() {
    return RunCommand(std::string(ULVEX_TEST_PYTHON) + " -c 'import intelhex'").exitCode == 0;
}

// What python3-intelhex reads from the dump: its byte count, then the
// hex of each range asked for.
std::string ReadDump(const TempDir& dir, const std::string& dump,
                     const std::vector<std::string>& ranges) {
    testfiles::WriteFile(dir.file("read_dump.py"), kDumpReader);
    std::string command =
        std::string(ULVEX_TEST_PYTHON) + " " + dir.file("read_dump.py") + " " + dump;
    for (const auto& range : ranges) {
        command += " " + range;
    }
    const auto result = RunCommand(command);
    EXPECT_EQ(result.exitCode, 0) << result.output;
    return result.output;
}

std::string Vtarget(const std::string& args) {
    return std::string(VTARGET_PROGRAM) + " " + args;
}

TEST(ProgramTest, ServesTheLinkUntilTerminatedAndDumpsTheMemory) {
    if (!HaveIntelHex()) {
        GTEST_SKIP() << ULVEX_TEST_PYTHON << " has no intelhex module";
    }
    TempDir dir;
    const std::string link = dir.file("ttyV"), dump = dir.file("board.hex");
    Program program({"--link", link, "--dump", dump, "--target", "10", "--flash-id", "ABCD:1234",
                     "--version=0x02030405", "--seed", "7", "--monitor-running"});
    ASSERT_EQ(program.ReadLine(5000ms), "vtarget ready on " + link + "\n");

    PcPort port;
    ASSERT_TRUE(port.Open(link, 115200));
    ASSERT_TRUE(port.Write(Frame(1, Request(kFlashType))));
    auto answer = ReadAnswer(port, 2000ms);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload, (std::vector<uint8_t>{22, 0xCD, 0xAB, 0x34, 0x12}));
    ASSERT_TRUE(port.Write(Frame(2, Request(kGetVersion))));
    answer = ReadAnswer(port, 2000ms);
    ASSERT_TRUE(answer);
    EXPECT_EQ(Le32At(answer->payload, 1), 0x02030405u);
    // An ATmega's boot loader: the count is in words, the address a word's.
    ASSERT_TRUE(
        port.Write(Frame(3, Request(kProgIntFlash).U32(0x8008).U16(2).Bytes({1, 2, 3, 4}))));
    answer = ReadAnswer(port, 2000ms);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload, (std::vector<uint8_t>{10, 1}));
    port.Close();

    EXPECT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadDump(dir, dump, {"0x1000E:7"}), "4096\nffff01020304ff\n");
}

// A KOLT board whose internal flash the PC erases and programs; the restart
// prints a line and writes the dump at once.
TEST(ProgramTest, KoltRestartReportsAndDumpsTheFlash) {
    TempDir dir;
    const std::string link = dir.file("ttyV"), dump = dir.file("board.hex");
    Program program({"--link", link, "--dump", dump, "--target", "11", "--monitor-running"});
    ASSERT_EQ(program.ReadLine(5000ms), "vtarget ready on " + link + "\n");
    PcPort port;
    ASSERT_TRUE(port.Open(link, 115200));
    uint8_t sequence = 0;
    const auto confirmed = [&](const std::vector<uint8_t>& payload) {
        EXPECT_TRUE(port.Write(Frame(++sequence, payload)));
        const auto answer = ReadAnswer(port, 2000ms);
        return answer && answer->payload.size() == 2 && answer->payload[1] == 1;
    };
    const auto write16 = [&](uint32_t address, uint16_t value) {
        return confirmed(Request(kWriteMem16).U32(address).U16(1).U16(value));
    };
    // Both passes back to back: the default busy time is far shorter than
    // the mails take.
    for (uint16_t command : {0x000B, 0x008B}) {
        ASSERT_TRUE(write16(0xFFE130, command));
        ASSERT_TRUE(write16(0x085554, 0xAAAA));
        ASSERT_TRUE(write16(0x08AAAA, 0x5555));
        ASSERT_TRUE(write16(0x080000, 0xFFFF));
    }
    ASSERT_TRUE(write16(0xFFE130, 0x000D));
    ASSERT_TRUE(confirmed(Request(kProgIntFlash).U32(0x080000).U16(2).U16(0x2211).U16(0x4433)));
    ASSERT_TRUE(write16(0xFFE20A, 0x0080));
    ASSERT_TRUE(port.Write(Frame(++sequence, Request(kWriteMem16).U32(0xFFE108).U16(1).U16(0x80))));
    EXPECT_EQ(program.ReadLine(5000ms), "vtarget: board restarted, running from 0x080000\n");
    // Written at the restart, while the board still runs.
    const std::string text = testfiles::ReadFile(dump);
    EXPECT_NE(text.find(":020000040008F2"), std::string::npos);
    EXPECT_NE(text.find("11223344FFFF"), std::string::npos);
    port.Close();
    EXPECT_EQ(program.Stop(SIGTERM), 0);
}

TEST(ProgramTest, InterruptStopsItAndRemovesTheLink) {
    TempDir dir;
    const std::string link = dir.file("ttyV");
    Program program(
        {"--link", link, "--echo", "--wire-timing", "--monitor-running", "--baud", "9600"});
    ASSERT_EQ(program.ReadLine(5000ms), "vtarget ready on " + link + "\n");
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(program.Stop(SIGINT), 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
}

// Without --monitor-running the board waits in its boot loader; its prompt
// comes through the adapter once the latency has run out.
TEST(ProgramTest, StartsInTheBootLoaderOfItsType) {
    TempDir dir;
    const std::string link = dir.file("ttyV");
    Program program(
        {"--link", link, "--target", "5", "--boot-prompt", "0x3c", "--adapter-latency", "16"});
    ASSERT_EQ(program.ReadLine(5000ms), "vtarget ready on " + link + "\n");
    PcPort port;
    ASSERT_TRUE(port.Open(link, 8600));
    EXPECT_EQ(port.Read(1, 800ms), std::vector<uint8_t>{0x3C});
    port.Close();
    EXPECT_EQ(program.Stop(SIGTERM), 0);
}

TEST(ProgramTest, BadCommandLinesExitWithTwo) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "--link PATH is required"},
        {"--bogus", "unknown option '--bogus'"},
        {"--link", "--link needs a value"},
        {"--link /tmp/x --baud 0", "invalid value '0' for --baud"},
        {"--link /tmp/x --target 24", "invalid value '24' for --target"},
        {"--link /tmp/x --drop-rate 1.5", "invalid value '1.5' for --drop-rate"},
        {"--link /tmp/x --nak-rate nan", "invalid value 'nan' for --nak-rate"},
        {"--link /tmp/x --flash-id 12345:1", "invalid value '12345:1' for --flash-id"},
        {"--link /tmp/x --version xyz", "invalid value 'xyz' for --version"},
        {"--link /tmp/x --silent-after -1", "invalid value '-1' for --silent-after"},
        {"--link /tmp/x --echo=1", "--echo takes no value"},
        {"--link /tmp/x --boot-prompt 100", "invalid value '100' for --boot-prompt"},
        {"--link /tmp/x --withhold-checksums -1", "invalid value '-1' for --withhold-checksums"},
        {"--link /tmp/x --refuse-arm-header=1", "--refuse-arm-header takes no value"},
        {"--link /tmp/x stray", "unexpected argument 'stray'"},
        {"--link /tmp/x --chip kolt", "invalid value 'kolt' for --chip"},
        {"--link /tmp/x --vrev 0x100", "invalid value '0x100' for --vrev"},
        {"--link /tmp/x --vconf CC", "invalid value 'CC' for --vconf"},
        {"--link /tmp/x --flash8-id 100:1", "invalid value '100:1' for --flash8-id"},
        {"--link /tmp/x --corrupt-word zz", "invalid value 'zz' for --corrupt-word"},
        {"--link /tmp/x --stuck-busy=1", "--stuck-busy takes no value"},
        {"--link /tmp/x --adapter-latency 256", "invalid value '256' for --adapter-latency"},
    };
    for (const auto& [args, message] : cases) {
        const auto result = RunCommand(Vtarget(args));
        EXPECT_EQ(result.exitCode, 2) << args;
        EXPECT_NE(result.output.find(message), std::string::npos) << args << ": " << result.output;
    }
}

TEST(ProgramTest, HelpListsTheOptions) {
    const auto result = RunCommand(Vtarget("--help"));
    EXPECT_EQ(result.exitCode, 0);
    for (const char* option :
         {"--link PATH", "--wire-timing", "--nak-every N", "--dump FILE", "--monitor-running",
          "--boot-prompt HEX", "--withhold-checksums N", "--refuse-arm-header"}) {
        EXPECT_NE(result.output.find(option), std::string::npos) << option;
    }
}

TEST(ProgramTest, RefusesToReplaceAFile) {
    TempDir dir;
    testfiles::WriteFile(dir.file("port"), "data");
    const auto result = RunCommand(Vtarget("--link " + dir.file("port")));
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.output.find("not a symbolic link"), std::string::npos) << result.output;
    EXPECT_EQ(testfiles::ReadFile(dir.file("port")), "data");
}

// Pages on both sides of a 64 KiB segment boundary and at the top of the
// address space, read back by another reader.
TEST(ProgramTest, DumpCoversEveryWrittenPage) {
    if (!HaveIntelHex()) {
        GTEST_SKIP() << ULVEX_TEST_PYTHON << " has no intelhex module";
    }
    TempDir dir;
    vtarget::BoardOptions options = RunningMonitor();
    options.targetType = 3;
    options.plainMemory = true; // plain RAM up to the top
    options.dumpPath = dir.file("stop.hex");
    vtarget::Board board(options);
    std::string error;
    ASSERT_TRUE(board.Start(error)) << error;
    const auto data = testfiles::RandomBytes(64, 3);
    board.WriteMemory(0x0001FFE0, data);
    board.WriteMemory(0xFFFFFFFE, {0xAA, 0xBB, 0xCC}); // wraps to address 0
    board.Stop();

    std::string expected = "16384\n"; // four pages
    for (uint8_t b : data) {
        char digits[3];
        snprintf(digits, sizeof digits, "%02x", b);
        expected += digits;
    }
    expected += "\nffaabb\ncc\n" + std::string(32, 'f') + "\n";
    EXPECT_EQ(ReadDump(dir, options.dumpPath, {"0x1FFE0:64", "0xFFFFFFFD:3", "0:1", "0x1FFD0:16"}),
              expected);
    // The same through WriteDump, while nothing runs.
    ASSERT_TRUE(board.WriteDump(dir.file("again.hex")));
    EXPECT_EQ(testfiles::ReadFile(dir.file("again.hex")), testfiles::ReadFile(options.dumpPath));
}

} // namespace
