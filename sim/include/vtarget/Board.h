// The virtual target board: plays the board side of a serial link on a
// pseudo-terminal so that the PC tools run without hardware. The board runs
// its own thread; every member function here may be called from any thread
// while it runs.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtarget {

// Seeded, deterministic faults. Line faults (drop, corrupt) hit every byte in
// either direction, echo included; monitor faults hit the monitor's answers.
struct FaultOptions {
    uint64_t seed = 1;
    double dropRate = 0;           // a byte is lost
    double corruptRate = 0;        // one bit of a byte flips
    double nakRate = 0;            // a confirm carries status 0
    double wrongPrimitiveRate = 0; // an answer carries the next answer code instead
    int64_t silentAfter = -1;      // answer this many valid mails, then nothing; -1: never
    int64_t nakEvery = 0;          // every Nth confirm carries status 0; 0: never
};

// The device of the window loader's block protocol (vtarget --ombrel): an
// application that restarts into its boot loader on the reset sequence, and
// the boot loader that prompts, takes CRC-8 framed blocks and then runs the
// received file. A fault hits the boot loader's first faultCount answers
// to the block numbered faultBlock (FF00h: the last one); a silent device
// does not even take those frames. Mails() logs each
// valid block frame (sequence 0; payload: block number high byte first,
// count, data) and the reply override applies to it; ReceivedImage() is
// the last complete file.
enum class OmbrelFault { None, BadCrc, WrongBlock, Silent, LeadByte, ExtraByte, SplitAnswer };
struct OmbrelOptions {
    bool enabled = false;
    std::string prompt = ">>>>>>>>"; // sent after the restart, one byte every 10 ms
    std::string runText = "RUN";     // sent once the last block is in; empty: nothing
    OmbrelFault fault = OmbrelFault::None;
    uint16_t faultBlock = 0;
    int64_t faultCount = 1;
};

struct BoardOptions {
    std::string linkPath; // symlink to the slave; empty: no link
    int targetType = 0;   // MERV types 3, 4, 8, 9, 16 program bytes, the others words
    // Whether the board starts with its monitor running instead of in the
    // boot loader of its target type.
    bool monitorRunning = false;
    uint32_t baudRate = 115200; // rate the monitor expects when it runs from the start
    // Boot loaders, for tests of the PC's side of the downloads.
    uint8_t bootPrompt = 0x02;    // byte the chip and ARM boot loaders prompt with
    int withheldChecksums = 0;    // checksum answers the chip boot loader keeps back first
    bool refuseArmHeader = false; // the ARM boot loader answers the header with 0x15
    bool echo = false;            // single-wire bus: every received byte goes back at once
    bool wireTiming = false;      // bytes take their line time in both directions
    // A USB serial adapter's latency timer on what the board sends: bytes
    // reach the PC in full packets of 62 at once, the rest once this many
    // milliseconds have passed since the first of them reached the
    // adapter (after its line time). 0: no adapter, nothing held.
    uint32_t adapterLatencyMs = 0;
    // With wire timing: keep LineSpans() and OwnTimeSpans() for benchmarks.
    bool recordSpans = false;
    // External flash identity. KOLT boards (see below) left at this default
    // carry an SST39VF160, 00BF:2782.
    uint16_t flashManufacturer = 0x0001, flashDevice = 0x2249;
    // GET_VERSION answer. On ATmega boards (types 10, 17) the high half is the
    // chip: 0 an ATmega64 with 64 KiB flash, any other a 128 KiB ATmega128.
    uint32_t version = 0x00010000;
    FaultOptions faults;
    std::string dumpPath; // Intel HEX of the memory, written by Stop() when not empty
    // Plain RAM behind the monitor whatever the target type, for tests of
    // the link itself: every write and programming request is stored.
    bool plainMemory = false;

    // KOLT-family boards (target types 0, 1, 2, 5, 6, 7, 11, 12, 13, 19, 20,
    // 21, 23). chip: a chip name (kolt-a, kolt-b, nila-a, peld-a, peld-b,
    // orsk-a) or a raw three-character VDEV code; empty: the type's default.
    std::string chip;
    uint8_t vconf = 'C', vrev = 'C', vmode = '5';
    uint8_t flash8Manufacturer = 0xBF, flash8Device = 0xB5; // each 8-bit device of types 2, 7
    // How long the flash controller stays busy after a command or step.
    std::chrono::milliseconds flashStepTime{5};
    bool stuckBusy = false; // the flash controller and 8-bit erases never finish
    // After programming, bit 0 of the flash byte at this address flips.
    std::optional<uint32_t> corruptWord;
    // Called on the board thread when the PC restarts the board, with the
    // address it runs from; no Board lock is held, so it may call WriteDump.
    std::function<void(uint32_t address)> onRestart;
    // Plays the Ombrel device instead of a target board, at baudRate; the
    // dump is then the last received file as it came.
    OmbrelOptions ombrel;
};

// A stretch of time on the steady clock.
struct TimeSpan {
    std::chrono::steady_clock::time_point begin, end;
};

// A 16-bit write the board recorded.
struct WordWrite {
    uint32_t address = 0;
    uint16_t value = 0;
    bool operator==(const WordWrite&) const = default;
};

// What runs on the board: the boot loader of its target type (the ATmega's
// resident one included), the monitor, or nothing at all after a download
// that was not a monitor for this board.
enum class Stage { BootLoader, Monitor, Hung };

// One valid request frame as the board received it.
struct ReceivedMail {
    std::chrono::steady_clock::time_point at; // when its last byte arrived
    uint8_t sequence = 0;
    std::vector<uint8_t> payload; // primitive code first
};

// Test hook, called on the board thread for every valid request. A returned
// byte string is written raw (no checksum added) instead of the monitor's
// answer; an empty vector sends nothing; std::nullopt answers normally. The
// monitor still carries the request out either way, as a real board does
// whose answer is lost on the line. The hook may call the Board's members.
using ReplyOverride = std::function<std::optional<std::vector<uint8_t>>(const ReceivedMail&)>;

class Board {
  public:
    explicit Board(BoardOptions options);
    ~Board(); // Stop()
    Board(const Board&) = delete;
    Board& operator=(const Board&) = delete;

    // Opens the pseudo-terminal, creates the link and starts the board thread.
    bool Start(std::string& error);
    // Idempotent: ends the thread, closes the pseudo-terminal, removes the
    // link and writes the dump. Memory stays readable afterwards.
    void Stop();

    const std::string& SlavePath() const; // /dev/pts/N, empty before Start()
    std::vector<ReceivedMail> Mails() const;
    size_t MailCount() const;
    uint64_t BytesReceived() const; // raw bytes read from the PC
    uint64_t BytesSent() const;     // bytes written towards the PC, echo included
    // With recordSpans: when the line carried bytes in either direction,
    // and when the board kept the PC waiting on its own account (from a
    // byte's arrival to the start of its answer, a boot loader's interval
    // between prompts), each as merged spans in order.
    std::vector<TimeSpan> LineSpans() const;
    std::vector<TimeSpan> OwnTimeSpans() const;
    uint64_t GarbledBytes() const;  // bytes garbled by a baud rate mismatch, both directions
    uint64_t DroppedFrames() const; // frames the monitor dropped unanswered
    uint32_t ExpectedBaudRate() const;
    // Every rate the board has expected, in order, the first included.
    std::vector<uint32_t> RateHistory() const;
    Stage CurrentStage() const;
    // The bytes of the last completed boot download: the binary image, or
    // for the ML675001 boot ROM the Intel HEX text as it came.
    std::vector<uint8_t> ReceivedImage() const;

    void SetReplyOverride(ReplyOverride hook);
    // What the memory holds: flash cells beneath registers that share their
    // addresses and beneath a read protection (MERV boards).
    std::vector<uint8_t> ReadMemory(uint32_t address, uint32_t count) const;
    void WriteMemory(uint32_t address, const std::vector<uint8_t>& bytes);
    // Intel HEX of every page written so far.
    bool WriteDump(const std::string& path) const;

    // KOLT and MERV boards; other boards give empty answers.
    // Every write to a control register (0xFFE1xx, 0xFFE20A; on MERV boards
    // the bytes at 0xAC00 and 0xFF67) with the register's value after it, in order.
    std::vector<WordWrite> RegisterWrites() const;
    bool WasWritten(uint32_t registerAddress) const;
    // The words written into the internal flash's info block (on MERV boards
    // the bytes stored at 0x0002..0x0005 under the info command).
    std::vector<WordWrite> InfoBlockWrites() const;
    // Flash bytes programmed over bits that were not erased (ATmega and ARM
    // boards too).
    uint64_t FlashOverwrites() const;
    // S3C44B0X boards (types 18, 22): erase and programming requests that
    // touched the board's window 0x10000..0x1FFFF; 0 on other boards.
    uint64_t ProtectedWindowFaults() const;
    // Where the last restart the PC ordered runs from; nothing before one.
    std::optional<uint32_t> RestartAddress() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace vtarget
