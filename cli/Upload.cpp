// Upload: target memory from the upload start to the upload end into a
// binary file, read in blocks that fit one mail, the address shown in place
// as it goes. Byte-wide uploads end with the CRC32 of the file beside the
// one the target computes over the same range.
#include "Jobs.h"

#include <cstdio>

#include "TestModeMonitor.h"
#include "image/Crc32.h"
#include "ulvex.h"

namespace {

constexpr uint32_t kBytesPerRead = 768;
constexpr uint32_t kWordsPerRead = 384;

FILE* CreateOutput(const char* name) {
    FILE* file = fopen(name, "wb");
    if (file == nullptr) {
        printf("\n### Can't create file %s ###\n", name);
    }
    return file;
}

// Closes the file; false (with a message) when any write to it failed.
bool CloseOutput(FILE* file, const char* name) {
    const bool written = ferror(file) == 0;
    if (fclose(file) != 0 || !written) {
        printf("\n### Error writing file %s ###\n", name);
        return false;
    }
    return true;
}

// The address runs in 64 bits so that an end of FFFFFFFF ends the loop
// instead of wrapping round to 0.
bool Upload8(const RunSettings& settings) {
    FILE* file = CreateOutput(settings.fileName);
    if (file == nullptr) {
        return false;
    }
    const uint64_t end = settings.uploadEnd;
    uint64_t address = settings.uploadStart;
    uint8_t block[kBytesPerRead];
    for (;;) {
        const uint32_t result =
            TM_ReadMemory8(static_cast<uint32_t>(address), kBytesPerRead, block);
        PrintAddressInPlace(static_cast<uint32_t>(address));
        if (result != MAIL_NO_ERROR) {
            CloseOutput(file, settings.fileName);
            return false;
        }
        for (uint32_t i = 0; i < kBytesPerRead && address <= end; ++i, ++address) {
            fputc(block[i], file);
        }
        if (address > end) {
            break;
        }
    }
    if (!CloseOutput(file, settings.fileName)) {
        return false;
    }
    PrintAddressInPlace(static_cast<uint32_t>(address - 1));
    return true;
}

void PrintCrcs(const RunSettings& settings) {
    uint32_t targetCrc = 0;
    TM_CalcCRC32(settings.uploadStart, settings.uploadEnd, &targetCrc);
    const uint32_t fileCrc = CalcFileCrc32(settings.fileName);
    printf("\n\n File crc32   = %08lX", static_cast<unsigned long>(fileCrc));
    printf("\n Target crc32 = %08lX\n", static_cast<unsigned long>(targetCrc));
}

// 16-bit words, each stored low byte first. The address counts words: the
// targets read this way address their memory by the word.
void Upload16(const RunSettings& settings) {
    FILE* file = CreateOutput(settings.fileName);
    if (file == nullptr) {
        return;
    }
    const uint64_t end = settings.uploadEnd;
    uint64_t address = settings.uploadStart;
    uint16_t block[kWordsPerRead];
    for (;;) {
        const uint32_t result =
            TM_ReadMemory16(static_cast<uint32_t>(address), kWordsPerRead, block);
        PrintAddressInPlace(static_cast<uint32_t>(address));
        if (result != MAIL_NO_ERROR) {
            break;
        }
        for (uint32_t i = 0; i < kWordsPerRead && address <= end; ++i, ++address) {
            fputc(block[i] & 0xFF, file);
            fputc(block[i] >> 8, file);
        }
        if (address > end) {
            break;
        }
    }
    CloseOutput(file, settings.fileName);
}

} // namespace

int RunUploadJob(RunSettings& settings) {
    if (!StartTestModeMonitor(settings)) {
        return 0;
    }
    if (settings.uploadWidth == 16) {
        Upload16(settings);
    } else if (Upload8(settings)) {
        PrintCrcs(settings);
    }
    EndTestMode();
    return 0;
}
