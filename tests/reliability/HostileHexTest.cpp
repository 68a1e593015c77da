// Hostile HEX files taken the three ways a file reaches the HEX reader: the
// library's export (TM_ReadHexFile), a whole FlashLoader session against a
// virtual ATmega128 board, and vorn's VERIFYCRC with its own copy of the
// reader. Each way runs as a child process whose peak resident memory is
// compared with the same way's peak for a small valid file: a hostile file
// must end with a clear code and cost no more than kMemoryBoundKiB above it
// (plus the image it holds, if it is taken).
#include "HostileHex.h"
#include "MeasuredRun.h"
#include "TestFiles.h"
#include "ulvex.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <sys/stat.h>
#include <vtarget/Board.h>
#include <zlib.h>

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

namespace reliability {
namespace {

// Peak resident memory a hostile file may add to the baseline: the reader
// keeps one 64 KiB read chunk and one token, whatever the file holds.
constexpr long kMemoryBoundKiB = 4096;
constexpr uint32_t kSessionPort = 3;
constexpr const char* kSessionType = "17"; // ATmega128: its boot loader answers at once
constexpr auto kRunLimit = std::chrono::seconds(120);
constexpr const char* kVornHexError = "\n ### Error reading Hex-file ###\n";

uint32_t Crc(const std::vector<uint8_t>& bytes) {
    return static_cast<uint32_t>(crc32(0, bytes.data(), static_cast<uInt>(bytes.size())));
}

std::string Hex8(uint32_t value) {
    char text[16];
    snprintf(text, sizeof text, "%08X", value);
    return text;
}

// The indication codes a probe session printed, in order.
std::vector<uint16_t> SessionCodes(const std::string& output) {
    std::vector<uint16_t> codes;
    const size_t at = output.find("codes=");
    if (at == std::string::npos) {
        return codes;
    }
    std::istringstream list(output.substr(at + 6));
    for (unsigned code; list >> code;) {
        codes.push_back(static_cast<uint16_t>(code));
        if (list.peek() != ',') {
            break;
        }
        list.get();
    }
    return codes;
}

class HostileHexTest : public ::testing::Test {
  protected:
    // How long one run may take before it counts as hung.
    std::chrono::seconds limit_ = kRunLimit;

    std::string Path(const std::string& name) const { return dir_.file(name); }
    const std::string& Dir() const { return dir_.path(); }

    MeasuredRun Read(const std::string& name) {
        return Measured("reader", name, {HOSTILE_PROBE, "read", Path(name)}, {});
    }

    // A fresh board in its boot loader for every session.
    MeasuredRun Session(const std::string& name) {
        vtarget::BoardOptions options;
        options.targetType = 17;
        options.linkPath = Path("atmega");
        sessionBoard_ = std::make_unique<vtarget::Board>(options);
        std::string error;
        EXPECT_TRUE(sessionBoard_->Start(error)) << error;
        return Measured(
            "session", name,
            {HOSTILE_PROBE, "session", std::to_string(kSessionPort), kSessionType, Path(name)},
            {"ULVEX_COM" + std::to_string(kSessionPort) + "=" + options.linkPath});
    }

    // A KOLT-A board whose monitor already runs, with plain memory in which
    // the test puts the image that the target's CRC should cover.
    MeasuredRun Verify(const std::string& name, const std::vector<uint8_t>& memory = {}) {
        vtarget::BoardOptions options;
        options.targetType = 0;
        options.monitorRunning = true;
        options.plainMemory = true;
        options.baudRate = 921600;
        options.linkPath = Path("kolt");
        verifyBoard_ = std::make_unique<vtarget::Board>(options);
        std::string error;
        EXPECT_TRUE(verifyBoard_->Start(error)) << error;
        verifyBoard_->WriteMemory(0, memory);
        return Measured("vorn", name,
                        {VORN_PROGRAM, "comport=1", "baudrate=921600", "busmode=2", "target=0",
                         "verifycrc", name},
                        {"ULVEX_COM1=" + options.linkPath});
    }

    vtarget::Board& SessionBoard() { return *sessionBoard_; }
    long ReadBaseline() const { return baseline_.read; }

    // Every way with a 256-byte image from srec_cat: the peaks to compare with.
    void MeasureBaselines() {
        const auto image = testfiles::RandomBytes(256, 1);
        WriteSrecCatHex(dir_.path(), "small.hex", 0, image);
        const MeasuredRun read = Read("small.hex");
        ASSERT_THAT(read.output,
                    HasSubstr("result=0 size=256 base=00000000 crc=" + Hex8(Crc(image))));
        const MeasuredRun session = Session("small.hex");
        ASSERT_THAT(SessionCodes(session.output), Contains(CRC_OK_IND)) << session.output;
        const MeasuredRun verify = Verify("small.hex", image);
        ASSERT_THAT(verify.output, HasSubstr("File crc32   = " + Hex8(Crc(image))));
        baseline_ = {read.peakKiB, session.peakKiB, verify.peakKiB};
    }

    // The three ways refuse the file: the reader with `code`, the session
    // with HEX_FILE_ERROR_IND before any image size, vorn with its message.
    void ExpectRefusedEverywhere(const std::string& name, uint32_t code) {
        SCOPED_TRACE(name);
        const MeasuredRun read = Read(name);
        EXPECT_THAT(read.output, HasSubstr("result=" + std::to_string(code) + " "));
        ExpectWithinBound(read, baseline_.read);

        const MeasuredRun session = Session(name);
        const auto codes = SessionCodes(session.output);
        EXPECT_THAT(codes, Contains(HEX_FILE_ERROR_IND)) << session.output;
        EXPECT_THAT(codes, Not(Contains(PROGRAM_SIZE_IND)));
        EXPECT_FALSE(codes.empty() || codes.back() != STOP_PROGRAM_IND) << session.output;
        ExpectWithinBound(session, baseline_.session);

        const MeasuredRun verify = Verify(name);
        EXPECT_THAT(verify.output, HasSubstr(kVornHexError));
        EXPECT_THAT(verify.output, Not(HasSubstr("crc32")));
        ExpectWithinBound(verify, baseline_.vorn);
    }

    // The three ways take the file: the reader's image, the flash after the
    // session and vorn's two CRCs all match `image`, which starts at 0.
    void ExpectAcceptedEverywhere(const std::string& name, const std::vector<uint8_t>& image) {
        SCOPED_TRACE(name);
        const long imageKiB = static_cast<long>(image.size() / 1024);
        const MeasuredRun read = Read(name);
        EXPECT_THAT(read.output, HasSubstr("result=0 size=" + std::to_string(image.size()) +
                                           " base=00000000 crc=" + Hex8(Crc(image))));
        ExpectWithinBound(read, baseline_.read + imageKiB);

        const MeasuredRun session = Session(name);
        EXPECT_THAT(SessionCodes(session.output), Contains(CRC_OK_IND)) << session.output;
        EXPECT_EQ(SessionBoard().ReadMemory(0, static_cast<uint32_t>(image.size())), image);
        ExpectWithinBound(session, baseline_.session + imageKiB);

        const MeasuredRun verify = Verify(name, image);
        const std::string crc = Hex8(Crc(image));
        EXPECT_THAT(verify.output, HasSubstr("File crc32   = " + crc + "\n Target crc32 = " + crc));
        ExpectWithinBound(verify, baseline_.vorn + imageKiB);
    }

  private:
    struct Peaks {
        long read = 0;
        long session = 0;
        long vorn = 0;
    };

    MeasuredRun Measured(const char* way, const std::string& name,
                         const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
        MeasuredRun run = RunMeasured(PEAK_METER, argv, dir_.path(), environment, limit_);
        EXPECT_FALSE(run.timedOut) << way << " " << name << " did not end";
        EXPECT_EQ(run.exitCode, 0) << way << " " << name << ":\n" << run.output;
        EXPECT_GT(run.peakKiB, 0) << way << " " << name << ": no peak reported";
        printf("[peak] %-7s %-24s %7ld KiB\n", way, name.c_str(), run.peakKiB);
        return run;
    }

    static void ExpectWithinBound(const MeasuredRun& run, long baselineKiB) {
        if (!UnderSanitizer()) {
            EXPECT_LE(run.peakKiB, baselineKiB + kMemoryBoundKiB);
        }
    }

    testfiles::TempDir dir_;
    std::unique_ptr<vtarget::Board> sessionBoard_;
    std::unique_ptr<vtarget::Board> verifyBoard_;
    Peaks baseline_;
};

TEST_F(HostileHexTest, DamagedAndOutOfRangeFilesGetAClearCodeEverywhere) {
    MeasureBaselines();
    const std::string& dir = Dir();
    // Data at 0 and just below 4 GiB (type 04 records): a span of 4 GiB is
    // refused before anything is allocated.
    WriteTwoPieces(dir, "span4g.hex", 0xFFFFFF00);
    ExpectRefusedEverywhere("span4g.hex", HEX_IMAGE_NO_MEMORY_FOR_NEW);
    // A byte at 0xFFFFFFFF: the end address would not fit 32 bits.
    WriteSrecCatHex(dir, "top.hex", 0xFFFFFFF0, testfiles::RandomBytes(16, 2));
    ExpectRefusedEverywhere("top.hex", HEX_IMAGE_SCAN_PASS_FAILED);

    WriteSrecCatHex(dir, "good.hex", 0, testfiles::RandomBytes(1024, 3));
    const std::string good = testfiles::ReadFile(Path("good.hex"));
    const std::string records = good.substr(0, good.rfind(kEndRecord));

    // Binary garbage alone, and behind valid records.
    testfiles::WriteBytes(Path("garbage.hex"), testfiles::RandomBytes(1 << 20, 4));
    ExpectRefusedEverywhere("garbage.hex", HEX_IMAGE_SCAN_PASS_FAILED);
    const auto noise = testfiles::RandomBytes(64 * 1024, 5);
    testfiles::WriteFile(Path("tail.hex"), records + std::string(noise.begin(), noise.end()));
    ExpectRefusedEverywhere("tail.hex", HEX_IMAGE_SCAN_PASS_FAILED);
    // A NUL inside a record.
    std::string withNul = good;
    withNul[good.find('\n') + 12] = '\0';
    testfiles::WriteFile(Path("nul.hex"), withNul);
    ExpectRefusedEverywhere("nul.hex", HEX_IMAGE_SCAN_PASS_FAILED);
    // Cut in the middle of the last data record.
    testfiles::WriteFile(Path("cut.hex"), records.substr(0, records.size() - 20));
    ExpectRefusedEverywhere("cut.hex", HEX_IMAGE_SCAN_PASS_FAILED);
    // A record checksum one off.
    std::string badSum = good;
    const size_t sumAt = good.find('\n', good.find('\n') + 1) - 1;
    badSum[sumAt] = badSum[sumAt] == '0' ? '1' : '0';
    testfiles::WriteFile(Path("checksum.hex"), badSum);
    ExpectRefusedEverywhere("checksum.hex", HEX_IMAGE_SCAN_PASS_FAILED);
    // A 10 MB line without a blank after a valid record: cut into 1023
    // character tokens, the first of which is no record.
    testfiles::WriteFile(Path("line.hex"), good.substr(0, good.find('\n')) + " " +
                                               std::string(10 << 20, 'A') + "\n" + kEndRecord);
    ExpectRefusedEverywhere("line.hex", HEX_IMAGE_SCAN_PASS_FAILED);
}

// A FIFO blocks an open until a writer comes and never delivers its bytes
// twice, while the reader takes its file twice and FlashLoader once before
// that: named as the image, it is refused at once on every way.
TEST_F(HostileHexTest, AFifoNamedAsTheImageIsRefusedWithoutBlocking) {
    ASSERT_EQ(mkfifo(Path("fifo.hex").c_str(), 0600), 0);
    limit_ = std::chrono::seconds(10);
    EXPECT_THAT(Read("fifo.hex").output, HasSubstr("result=6 "));
    const MeasuredRun session = Session("fifo.hex");
    EXPECT_THAT(session.output, HasSubstr("result=2 codes=\n"));
    EXPECT_THAT(Verify("fifo.hex").output, HasSubstr(kVornHexError));
}

// The large files run with the reliability suite only: not repeated under the
// sanitizers.
class HostileHexLargeTest : public HostileHexTest {};

// A million records, rewriting the first 64 KiB again and again, so that the
// session stays short: every way must end with the last pass's bytes.
TEST_F(HostileHexLargeTest, AMillionRecordsAreReadProgrammedAndVerified) {
    MeasureBaselines();
    const auto image = WriteCyclingRecords(Path("million.hex"), 1000000, 0x10000, '\n');
    ExpectAcceptedEverywhere("million.hex", image);

    // Spread over 16 MB instead, the reader's peak grows by the image: the
    // memory measured is the reader's own.
    const auto spread = WriteCyclingRecords(Path("spread.hex"), 1000000, 16000000, '\n');
    const MeasuredRun read = Read("spread.hex");
    EXPECT_THAT(read.output,
                HasSubstr("result=0 size=16000000 base=00000000 crc=" + Hex8(Crc(spread))));
    if (!UnderSanitizer()) {
        EXPECT_GE(read.peakKiB, ReadBaseline() + 15000);
        EXPECT_LE(read.peakKiB, ReadBaseline() + 15625 + kMemoryBoundKiB);
    }
}

// Records are separated by blanks as well as line ends: a 10 MB line of
// records is a file like any other.
TEST_F(HostileHexLargeTest, ATenMegabyteLineOfRecordsIsReadProgrammedAndVerified) {
    MeasureBaselines();
    constexpr size_t kRecords = (10u << 20) / 44 + 1; // 43 characters and a blank each
    const auto image = WriteCyclingRecords(Path("line.hex"), kRecords, 0x1000, ' ');
    ASSERT_EQ(testfiles::ReadFile(Path("line.hex")).find('\n'), std::string::npos);
    ExpectAcceptedEverywhere("line.hex", image);
}

} // namespace
} // namespace reliability
