// Memory dumps. Whole lines are shown, so the count is rounded up to a line;
// memory is fetched in blocks of 16 lines, each at the address of the line
// that first needs it.
#include "ScriptDump.h"

#include <cstdio>
#include <cstring>

#include "ulvex.h"

namespace {

constexpr uint32_t kBytesPerLine = 16;
constexpr uint32_t kWordsPerLine = 8;
constexpr uint64_t kLinesPerFetch = 16;

uint64_t LinesFor(uint32_t count, uint32_t perLine) {
    return (static_cast<uint64_t>(count) + perLine - 1) / perLine;
}

void PrintByteLine(uint32_t address, const uint8_t* bytes) {
    printf("\n%08lX : ", static_cast<unsigned long>(address));
    for (uint32_t i = 0; i < kBytesPerLine; ++i) {
        printf(i == 8 ? "| %02X " : "%02X ", bytes[i]);
    }
    for (uint32_t i = 0; i < kBytesPerLine; ++i) {
        if (i == 8) {
            putchar('|');
        }
        putchar(bytes[i] < 0x20 ? '.' : bytes[i]);
    }
}

void PrintWordLine(uint32_t address, const uint16_t* words) {
    printf("\n%08lX : ", static_cast<unsigned long>(address));
    for (uint32_t i = 0; i < kWordsPerLine; ++i) {
        printf("%04X ", words[i]);
    }
}

} // namespace

void DumpScriptBytes(uint32_t count, uint32_t address) {
    uint8_t block[kBytesPerLine * kLinesPerFetch];
    const uint64_t lines = LinesFor(count, kBytesPerLine);
    for (uint64_t line = 0; line < lines; ++line) {
        const uint64_t lineInBlock = line % kLinesPerFetch;
        if (lineInBlock == 0) {
            // A failed read shows zeros, never what an earlier block held.
            memset(block, 0, sizeof block);
            TM_ReadMemory8(address, sizeof block, block);
        }
        PrintByteLine(address, block + lineInBlock * kBytesPerLine);
        address += kBytesPerLine;
    }
}

void DumpScriptWords(uint32_t count, uint32_t address) {
    uint16_t block[kWordsPerLine * kLinesPerFetch];
    const uint64_t lines = LinesFor(count, kWordsPerLine);
    for (uint64_t line = 0; line < lines; ++line) {
        const uint64_t lineInBlock = line % kLinesPerFetch;
        if (lineInBlock == 0) {
            memset(block, 0, sizeof block);
            TM_ReadMemory16(address, kWordsPerLine * kLinesPerFetch, block);
        }
        PrintWordLine(address, block + lineInBlock * kWordsPerLine);
        address += kWordsPerLine;
    }
}
