#include "ReadCommand.h"

#include "Arguments.h"
#include "FlashCommand.h"
#include "ResultEvents.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fmt/format.h>
#include <ulvex.h>
#include <zlib.h>

namespace ulvex {

namespace {

// vorn's blocks: 768 bytes or 384 words a mail.
constexpr uint32_t kBytesPerRead = 768;
constexpr uint32_t kWordsPerRead = 384;

struct Output {
    std::FILE* file = nullptr;
    uint32_t crc = 0;
    uint64_t bytes = 0;

    bool Write(const uint8_t* data, size_t count) {
        crc = static_cast<uint32_t>(crc32(crc, data, static_cast<uInt>(count)));
        bytes += count;
        return std::fwrite(data, 1, count, file) == count;
    }
};

// Units START..END, in blocks of one mail each. The address runs in 64 bits
// so that an end of FFFFFFFF ends the loop instead of wrapping round to 0;
// the last block asks only for what is left of the range.
uint32_t ReadRange(const RangeArgument& range, bool words, Output& out) {
    const uint32_t perRead = words ? kWordsPerRead : kBytesPerRead;
    uint8_t bytes[kBytesPerRead];
    uint16_t block[kWordsPerRead];
    for (uint64_t address = range.start; address <= range.end;) {
        const auto count =
            static_cast<uint32_t>(std::min<uint64_t>(perRead, uint64_t{range.end} - address + 1));
        const auto at = static_cast<uint32_t>(address);
        const uint32_t mail =
            words ? TM_ReadMemory16(at, count, block) : TM_ReadMemory8(at, count, bytes);
        if (mail != MAIL_NO_ERROR) {
            return mail;
        }
        if (words) {
            for (uint32_t i = 0; i < count; ++i) {
                bytes[2 * i] = static_cast<uint8_t>(block[i] & 0xFF);
                bytes[2 * i + 1] = static_cast<uint8_t>(block[i] >> 8);
            }
        }
        if (!out.Write(bytes, words ? 2 * count : count)) {
            return MAIL_NO_ERROR; // the caller sees the file's error
        }
        address += count;
    }
    return MAIL_NO_ERROR;
}

Outcome ReadBoard(const TestModeBoard& board, const ReadOptions& options, const TargetType& target,
                  const RangeArgument& range, Output& out) {
    Outcome o;
    TestModeLink link(board, options.link, target.number);
    if (!link.Start(o)) {
        return o;
    }
    const uint32_t mail = ReadRange(range, options.words, out);
    const bool written = std::ferror(out.file) == 0;
    const bool closed = std::fclose(out.file) == 0;
    out.file = nullptr;
    o.ms = link.Elapsed();
    if (mail != MAIL_NO_ERROR) {
        o.result = "mail-error";
        o.detail = fmt::format("the read failed after {} bytes: mail error {}", out.bytes, mail);
        return o;
    }
    if (!written || !closed) {
        o.result = "file-error";
        o.detail = "cannot write " + options.output + ": " + std::strerror(errno);
        return o;
    }
    o.haveCrc = true;
    o.crcFile = out.crc;
    if (!options.words) {
        const uint32_t crcMail = TM_CalcCRC32(range.start, range.end, &o.crcTarget);
        o.ms = link.Elapsed();
        if (crcMail != MAIL_NO_ERROR) {
            o.haveCrc = false;
            o.result = "mail-error";
            o.detail = fmt::format("the CRC request failed: mail error {}", crcMail);
            return o;
        }
    }
    o.ok = true;
    o.result = "read";
    o.detail = fmt::format("{} {:08X}-{:08X}, {} bytes into {}", options.words ? "words" : "bytes",
                           range.start, range.end, out.bytes, options.output);
    return o;
}

// A file that did not get all it should is not left behind; only a regular
// file is removed (never, say, a device named as the output).
void RemoveOutput(const std::string& path) {
    std::error_code error;
    if (std::filesystem::is_regular_file(path, error)) {
        std::filesystem::remove(path, error);
    }
}

void PrintPlain(const std::string& port, const Outcome& o, bool words) {
    if (!o.ok) {
        std::printf("%s: %s: %s\n", port.c_str(), o.result.c_str(), o.detail.c_str());
    } else if (words) {
        std::printf("%s: read %s, CRC %08X\n", port.c_str(), o.detail.c_str(), o.crcFile);
    } else {
        std::printf("%s: read %s, CRC %08X, target CRC %08X\n", port.c_str(), o.detail.c_str(),
                    o.crcFile, o.crcTarget);
    }
    std::fflush(stdout);
}

} // namespace

int RunRead(const ReadOptions& options) {
    const RangeArgument range = ParseRange(options.start, options.end);
    if (!range.error.empty()) {
        return UsageError(range.error);
    }
    const TargetType* target = nullptr;
    std::vector<TestModeBoard> boards;
    if (const int failed = PrepareBoards(options.link, target, boards); failed != 0) {
        return failed;
    }
    Output out;
    out.file = std::fopen(options.output.c_str(), "wb");
    if (out.file == nullptr) {
        return UsageError("cannot create " + options.output + ": " + std::strerror(errno));
    }
    RemoveOnInterrupt(options.output);
    const Outcome o = ReadBoard(boards.front(), options, *target, range, out);
    if (out.file != nullptr) {
        std::fclose(out.file);
    }
    if (!o.ok) {
        RemoveOutput(options.output);
    }
    if (options.link.json) {
        PrintJson(ResultEvent(boards.front().port, o, !options.words));
        PrintJson(SummaryEvent(1, o.ok ? 1 : 0));
    } else {
        PrintPlain(boards.front().port, o, options.words);
    }
    return o.ok ? kAllVerified : kBoardFailed;
}

} // namespace ulvex
