#include "VerifyCommand.h"

#include "FlashCommand.h"
#include "ResultEvents.h"
#include "cli/TestModeTargets.h"

#include <cstdio>
#include <cstdlib>
#include <fmt/format.h>
#include <memory>
#include <ulvex.h>
#include <zlib.h>

namespace ulvex {

namespace {

struct Image {
    std::unique_ptr<uint8_t, decltype(&std::free)> bytes{nullptr, &std::free};
    uint32_t size = 0;
    uint32_t base = 0;
    uint32_t crc = 0;
};

// The targets compute their CRC over whole 16-bit words, so the file's CRC
// takes the image up to an even length (the reader leaves spare bytes of
// 0xFF after its end).
uint32_t FileCrc(const Image& image) {
    const uint32_t evenSize = image.size + (image.size & 1u);
    return static_cast<uint32_t>(crc32(0L, image.bytes.get(), evenSize));
}

Outcome VerifyBoard(const TestModeBoard& board, const VerifyOptions& options,
                    const TargetType& target, const Image& image) {
    Outcome o;
    const VerifySupport support = VerifySupportFor(target.number);
    if (support != VerifySupport::Crc) {
        o.result = "not-supported";
        o.detail =
            fmt::format("{} target type {} ({})",
                        support == VerifySupport::NotSupported ? "verify is not supported for"
                                                               : "verify does not know",
                        target.number, target.name);
        return o;
    }
    TestModeLink link(board, options.link, target.number);
    if (!link.Start(o)) {
        return o;
    }
    uint32_t targetCrc = 0;
    const uint32_t mail = TM_CalcCRC32(image.base, image.base + image.size - 1, &targetCrc);
    o.ms = link.Elapsed();
    if (mail != MAIL_NO_ERROR) {
        o.result = "mail-error";
        o.detail = fmt::format("the CRC request failed: mail error {}", mail);
        return o;
    }
    o.haveCrc = true;
    o.crcFile = image.crc;
    o.crcTarget = targetCrc;
    o.ok = targetCrc == image.crc;
    o.result = o.ok ? "verified" : "crc-mismatch";
    return o;
}

void PrintPlain(const std::string& port, const Outcome& o) {
    if (o.haveCrc) {
        std::printf("%s: file CRC %08X, target CRC %08X: %s\n", port.c_str(), o.crcFile,
                    o.crcTarget, o.result.c_str());
    } else {
        std::printf("%s: %s: %s\n", port.c_str(), o.result.c_str(), o.detail.c_str());
    }
    std::fflush(stdout);
}

} // namespace

int RunVerify(const VerifyOptions& options) {
    // Ctrl-C from here on leaves no converted image behind.
    CatchTestModeInterrupts();
    const LibraryImage hex = PrepareImage(options.image);
    if (!hex.error.empty()) {
        return UsageError(hex.error);
    }
    Image image;
    uint8_t* bytes = nullptr;
    const uint32_t read = TM_ReadHexFile(hex.hexPath.c_str(), 0, &bytes, &image.size, &image.base);
    RemoveTemporaryFiles(); // the image is in memory now
    if (read != HEX_IMAGE_READY) {
        return UsageError("cannot read the image " + options.image.path);
    }
    image.bytes.reset(bytes);
    image.crc = FileCrc(image);
    const TargetType* target = nullptr;
    std::vector<TestModeBoard> boards;
    if (const int failed = PrepareBoards(options.link, target, boards); failed != 0) {
        return failed;
    }
    int ok = 0;
    for (const TestModeBoard& board : boards) {
        const Outcome o = VerifyBoard(board, options, *target, image);
        ok += o.ok ? 1 : 0;
        if (options.link.json) {
            PrintJson(ResultEvent(board.port, o));
        } else {
            PrintPlain(board.port, o);
        }
    }
    const int count = static_cast<int>(boards.size());
    if (options.link.json) {
        PrintJson(SummaryEvent(count, ok));
    }
    return ok == count ? kAllVerified : kBoardFailed;
}

} // namespace ulvex
