// Intel HEX reader: turns a HEX text file into one contiguous memory image
// in which every byte the file does not set is 0xFF (erased flash).
#pragma once

#include <cstdint>
#include <cstdio>

// Image-loader result codes (HEX_IMAGE_*) are those of the public API.
#include "ulvex.h"

// Parser result codes (ParseHexFile, ScanHexFile); texts via HexFileErrorText.
// There is no code 5: start linear address records (type 05) are skipped
// like type 03, and the codes after 5 keep their numbers.
enum HexParseResult : uint8_t {
    HEX_OK = 0,
    HEX_CREATE_FILE_ERROR = 1,
    HEX_OPEN_INPUT_ERROR = 2,
    HEX_CHECKSUM_ERROR = 3,
    HEX_BUFFER_SIZE_ERROR = 4,
    HEX_UNKNOWN_RECORD = 6,
    HEX_SYNTAX_ERROR = 7,
    HEX_TEMP_FILE_ERROR = 8,
    HEX_BUFFER_OVERFLOW = 9,
};

// Images larger than this are refused with HEX_IMAGE_NO_MEMORY_FOR_NEW: no board
// served here has that much memory, and a stray high address in a file must
// not make the reader allocate gigabytes.
constexpr uint32_t kHexImageMaxSize = 256u * 1024u * 1024u;

// Bytes after the last image byte, always 0xFF, so that word-wide consumers
// can read past an odd end and see erased flash.
constexpr uint32_t kHexImageSpareBytes = 3;

struct HexParseOutput {
    uint32_t lowest = 0;
    uint32_t highest = 0;
    uint32_t byteSum = 0;
    uint32_t recordCount = 0;
};

// Both passes of the reader. capacity 0 scans only (highest is then the end
// address, highest data address + 1). With a buffer the bytes go there;
// without one (and capacity != 0) they go into the temporary file tempName.
uint8_t ParseHexFile(const char* inputName, const char* tempName, uint8_t* buffer,
                     uint32_t capacity, uint8_t keep, uint8_t fill, uint32_t base,
                     HexParseOutput* out);

// The same parser over an already open stream (used by the fuzz target).
uint8_t ParseHexStream(FILE* input, const char* tempName, uint8_t* buffer, uint32_t capacity,
                       uint8_t keep, uint8_t fill, uint32_t base, HexParseOutput* out);

// Scan pass only: lowest data address and end address (highest + 1).
uint8_t ScanHexFile(const char* name, uint32_t* lowest, uint32_t* end);

// Reads a HEX file into a malloc'ed image of size + 3 bytes. keep != 0 writes
// the file over the caller's existing image (growing it into a new buffer if
// it is too small; the old buffer is then the caller's to free).
uint32_t ReadHexImage(const char* name, uint8_t keep, uint8_t** buffer, uint32_t* size,
                      uint32_t* base);

// Value of the first `digits` characters of text read as hexadecimal.
uint32_t HexFieldValue(const char* text, uint8_t digits);

// Text of a parser result code (each with one leading blank), or nullptr
// for a code the parser never gives.
const char* HexFileErrorText(uint32_t code);

// Length of an open file in bytes; the file position is kept.
long FileLength(FILE* file);
