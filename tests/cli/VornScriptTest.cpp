// Test scripts run by vorn against a board whose monitor already runs: the
// instructions' effects and output, calls and loops, memory access and dumps
// as the board sees them, compile errors that keep the target untouched, and
// keys and lines typed on a terminal.
#include "VornFixture.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

constexpr const char* kLink = "comport=1 baudrate=921600 busmode=2";
constexpr uint8_t kReadMem8 = 1;
constexpr uint8_t kReadMem16 = 5;

vtarget::BoardOptions PlainMemoryBoard() {
    vtarget::BoardOptions options;
    options.targetType = 18;
    options.monitorRunning = true;
    options.baudRate = 921600;
    options.plainMemory = true;
    return options;
}

// What the script printed between its PRINT "<<" and PRINT ">>" markers.
std::string Marked(const std::string& output) {
    const size_t begin = output.find("<< ");
    const size_t end = output.find(">> ", begin);
    if (begin == std::string::npos || end == std::string::npos) {
        return "no markers in: " + output;
    }
    return output.substr(begin + 3, end - begin - 3);
}

struct Fetch {
    uint8_t code;
    uint32_t address;
    uint16_t count;
    bool operator==(const Fetch&) const = default;
};

std::vector<Fetch> MemoryReads(const std::vector<vtarget::ReceivedMail>& mails) {
    std::vector<Fetch> reads;
    for (const auto& mail : mails) {
        const auto& p = mail.payload;
        if ((p[0] == kReadMem8 || p[0] == kReadMem16) && p.size() >= 7) {
            reads.push_back({p[0], uint32_t(p[1] | p[2] << 8 | p[3] << 16 | uint32_t(p[4]) << 24),
                             uint16_t(p[5] | p[6] << 8)});
        }
    }
    return reads;
}

// A pseudo-terminal whose slave stands for the user's console.
class Console {
  public:
    Console() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(master_, 0);
        EXPECT_EQ(grantpt(master_), 0);
        EXPECT_EQ(unlockpt(master_), 0);
        slave_ = ptsname(master_);
        // The slave stays open so that typed keys wait while vorn starts.
        keepOpen_ = open(slave_.c_str(), O_RDWR | O_NOCTTY);
    }
    ~Console() {
        close(keepOpen_);
        close(master_);
    }
    const std::string& Slave() const { return slave_; }
    void Type(const std::string& keys) {
        EXPECT_EQ(write(master_, keys.data(), keys.size()), ssize_t(keys.size()));
    }
    bool Canonical() const {
        struct termios settings {};
        tcgetattr(keepOpen_, &settings);
        return (settings.c_lflag & ICANON) != 0 && (settings.c_lflag & ECHO) != 0;
    }

  private:
    int master_ = -1;
    int keepOpen_ = -1;
    std::string slave_;
};

} // namespace

class VornScriptTest : public VornTest {
  protected:
    void SetUp() override { StartBoard(PlainMemoryBoard()); }

    // Writes the script and runs it without a monitor start. prefix goes in
    // front of the program (for example a timeout); redirect after it.
    testfiles::CommandResult Run(const std::string& script, const std::string& redirect = "",
                                 const std::string& prefix = "") {
        testfiles::WriteFile(File("test.scr"), script);
        return RunVorn(std::string("test.scr MONITORLOAD=OFF ") + kLink + " " + redirect, prefix);
    }
};

TEST_F(VornScriptTest, ArithmeticFlagsAndPrintForms) {
    const auto run = Run("PRINT \"<<\"\n"
                         "MOV A,#1234ABCD PRINT_REG A #0 PRINT_REG A #8 PRINT_REG A #40\n"
                         "MOV B #FFFFFFFE PRINT_REG B #1 NEWLINE\n"
                         "MOV C #0 BEQ ZERO PRINT wrong\n"
                         "ZERO: BNE WRONG PRINT zero\n"
                         "MOV D #10 CMP D #10 BEQ EQUAL PRINT wrong\n"
                         "EQUAL: MOV E #1 SHL E #21 PRINT_REG E #0\n"
                         "MOV F #0 DEC F PRINT_REG F #0 ADD F #2 PRINT_REG F #0\n"
                         "SUB F #1 BNE WRONG PRINT sub-zero\n"
                         "OR F #F0 AND F #30 SHR F #4 PRINT_REG F #0\n"
                         "MOV G F INC G PRINT_REG G #0 BACKSPACE #2 CR\n"
                         "A\n"
                         "PRINT \">>\"\n"
                         "RTN ; the end: no call is open\n"
                         "WRONG: PRINT wrong\n");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(Marked(run.output), "1234ABCD 11001101 00010010001101001010101111001101 -0000002 \n"
                                  "ZERO 00000002 FFFFFFFF 00000001 SUB-ZERO 00000003 00000004 "
                                  "\b\b\r\n### Run: Unknown Opcode ###\n");
    EXPECT_THAT(run.output, Not(HasSubstr("WRONG")));
    // Test mode ends after the script, with its stop line last.
    EXPECT_THAT(run.output, HasSubstr(">> \n STOP_PROGRAM_IND"));
}

TEST_F(VornScriptTest, CallsNestThirtyDeepAndTheThirtyFirstOverflows) {
    auto nested = [](int depth) {
        std::string script = "PRINT \"<<\" JSR L1 PRINT back PRINT \">>\" RTN\n";
        for (int level = 1; level < depth; ++level) {
            script +=
                "L" + std::to_string(level) + ": JSR L" + std::to_string(level + 1) + " RTN\n";
        }
        return script + "L" + std::to_string(depth) + ": PRINT deep RTN\n";
    };
    EXPECT_EQ(Marked(Run(nested(30)).output), "DEEP BACK ");
    const auto overflow = Run(nested(31));
    EXPECT_THAT(overflow.output, HasSubstr("<< \n### Stack overflow ###\n\n STOP_PROGRAM_IND"));
    EXPECT_THAT(overflow.output, Not(HasSubstr("DEEP")));
}

TEST_F(VornScriptTest, LastLineRunsOnceAndLoopsRunUntilTheProgramEnds) {
    for (const char* end : {"", "\n"}) {
        const auto run = Run(std::string("JMP END\nPRINT skipped\nEND: PRINT \"last\"") + end);
        EXPECT_EQ(Count(run.output, "last "), 1u) << run.output;
        EXPECT_THAT(run.output, Not(HasSubstr("SKIPPED")));
    }
    const auto loop = Run("LOOP: INC A\nJMP LOOP", "", "timeout 1");
    EXPECT_EQ(loop.exitCode, 124) << "the loop did not run until stopped";
}

TEST_F(VornScriptTest, WritesReadsAndTheRefusedWriteForms) {
    const auto before = Board().ReadMemory(0, 2);
    const auto run = Run("PRINT \"<<\" MOV A #12AB\n"
                         "WRITE8 A #FFE000 WRITE8 #55 #FFE001 WRITE8 #66 B\n"
                         "MOV B #FFE010 WRITE16 #7788 B WRITE16 A B\n"
                         "READ8 C #FFE001 PRINT_REG C #0 READ16 D B PRINT_REG D #0\n"
                         "PRINT \">>\"");
    EXPECT_EQ(Marked(run.output), "\n### Debug Error 372 Runner ###\n"
                                  "\n### Debug Error 413 Runner ###\n"
                                  "00000055 000012AB ");
    EXPECT_EQ(Board().ReadMemory(0xFFE000, 2), (std::vector<uint8_t>{0xAB, 0x55}));
    EXPECT_EQ(Board().ReadMemory(0xFFE010, 2), (std::vector<uint8_t>{0xAB, 0x12}));
    EXPECT_EQ(Board().ReadMemory(0, 2), before) << "a refused write reached the board";
}

TEST_F(VornScriptTest, DumpsShowWholeLinesFetchedSixteenLinesAtATime) {
    std::vector<uint8_t> bytes(0x20);
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = uint8_t(0x1C + i);
    }
    Board().WriteMemory(0xFFE000, bytes);
    Board().WriteMemory(0, {0x34, 0x12, 0x78, 0x56});
    const auto run = Run("PRINT \"<<\" DISP8 #20 #FFE000 DISP8 #0 #0 PRINT \">>\"\n"
                         "DISP8 #11 #0 DISP16 #8 #0 DISP8 #110 #0 DISP16 #81 #0\n");
    EXPECT_EQ(Marked(run.output), "\n00FFE000 : 1C 1D 1E 1F 20 21 22 23 | 24 25 26 27 28 29 2A 2B "
                                  ".... !\"#|$%&'()*+"
                                  "\n00FFE010 : 2C 2D 2E 2F 30 31 32 33 | 34 35 36 37 38 39 3A 3B "
                                  ",-./0123|456789:;");
    const std::vector<Fetch> expected{{kReadMem8, 0xFFE000, 256}, {kReadMem8, 0, 256},
                                      {kReadMem16, 0, 128},       {kReadMem8, 0, 256},
                                      {kReadMem8, 0x100, 256},    {kReadMem16, 0, 128},
                                      {kReadMem16, 0x80, 128}};
    EXPECT_EQ(MemoryReads(Board().Mails()), expected);
    EXPECT_EQ(Count(run.output, "\n00000000 : 34 12 78 56 "), 2u);
    EXPECT_EQ(Count(run.output, "\n00000000 : 1234 5678 "), 2u);
    EXPECT_EQ(Count(run.output, "\n00000100 : "), 1u);
    EXPECT_EQ(Count(run.output, "\n00000080 : "), 2u); // a byte line and a word line
    EXPECT_EQ(Count(run.output.substr(run.output.find("<< ")), " : "), 2u + 2u + 1u + 17u + 17u);
}

TEST_F(VornScriptTest, ScriptsWithErrorsDoNotRun) {
    const auto compile = Run("WRITE8 #1 #0\nprint Hello World ; greeting\n");
    EXPECT_THAT(compile.output, HasSubstr("\n### Script Error in line 2 ###\n"
                                          "\nPRINT HELLO WORLD \n"
                                          "Label terminator : missing\n"));
    const auto label = Run("WRITE8 #1 #0\nJSR nowhere\n");
    EXPECT_THAT(label.output, HasSubstr("\n### Unknow label : NOWHERE ###\n"));
    EXPECT_EQ(Board().MailCount(), 0u) << "an instruction of a broken script ran";

    const auto missing = RunVorn(std::string("missing.scr MONITORLOAD=OFF ") + kLink);
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_THAT(missing.output, HasSubstr("\n ### Cannot open input Script-file: missing.scr###"));
    for (const auto& run : {compile, label, missing}) {
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(Count(run.output, "STOP_PROGRAM_IND"), 1u);
    }
}

TEST_F(VornScriptTest, PortThatCannotBeOpenedEndsTestModeWithoutRunningTheScript) {
    const auto run = Run("PRINT ran", "comport=2");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_THAT(run.output, HasSubstr("COM_PORT_ACCESS_FAIL_IND"));
    EXPECT_THAT(run.output, HasSubstr("STOP_PROGRAM_IND"));
    EXPECT_THAT(run.output, Not(HasSubstr("RAN")));
}

TEST_F(VornScriptTest, KeysAndHexLinesComeFromTheTerminal) {
    Console console;
    const std::string keys = "PRINT \"<<\" KEYB A PRINT_REG A #0 PRINT \">>\"";
    EXPECT_EQ(Marked(Run(keys, "< " + console.Slave()).output), "00000000 ");
    EXPECT_EQ(Marked(Run(keys, "< /dev/null").output), "00000000 ");
    EXPECT_TRUE(console.Canonical()) << "the terminal was not given back";

    console.Type(std::string("x\0A\xE0", 4) + "  1f2E xyz\n" + std::string(100, '9') + "\n");
    const auto run = Run("PRINT \"<<\" KEYB A KEYB B KEYB C GETHEX D GETHEX E\n"
                         "PRINT_REG A #0 PRINT_REG B #0 PRINT_REG C #0 PRINT_REG D #0\n"
                         "PRINT_REG E #0 KEYB F PRINT_REG F #0 PRINT \">>\"",
                         "< " + console.Slave());
    EXPECT_EQ(Marked(run.output), "00000078 00000041 FFFFFFE0 00001F2E 99999999 00000000 ");
    EXPECT_TRUE(console.Canonical());
}

TEST_F(VornScriptTest, StoppingALoopThatReadsKeysGivesTheTerminalBack) {
    Console console;
    const auto run =
        Run("LOOP: KEYB A WAIT #5 JMP LOOP", "< " + console.Slave(), "timeout -s INT 1");
    EXPECT_EQ(run.exitCode, 124);
    EXPECT_TRUE(console.Canonical());
}
