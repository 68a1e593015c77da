#include "image/HexFile.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>

namespace {

// The reader takes the file in large chunks and splits them into tokens
// itself: one fread per 64 KiB instead of one scanf call per record.
constexpr size_t kReadChunk = 64 * 1024;
// Longest token taken in one piece; a longer run of non-blank characters
// continues as the next token (the classic "%1023s" field width).
constexpr size_t kMaxToken = 1023;
// ":" + byte count (2) + address (4) + type (2) + checksum (2).
constexpr size_t kMinRecordChars = 11;
// Fields a record carries ahead of its data, counted in bytes: byte count,
// two address bytes and the type.
constexpr size_t kHeaderBytes = 4;
constexpr uint32_t kNoLowest = 0xFFFFFFFF;
// Chunk for writing fill bytes to and summing the temporary file.
constexpr size_t kTempChunk = 4096;

enum RecordType : uint8_t {
    kData = 0x00,
    kEndOfFile = 0x01,
    kExtendedSegment = 0x02,
    kStartSegment = 0x03,
    kExtendedLinear = 0x04,
    kStartLinear = 0x05,
};

// Digit value of each character, -1 for characters that are no hex digit.
constexpr std::array<int8_t, 256> MakeHexDigitTable() {
    std::array<int8_t, 256> table{};
    for (auto& entry : table) {
        entry = -1;
    }
    for (int c = '0'; c <= '9'; ++c) {
        table[c] = static_cast<int8_t>(c - '0');
    }
    for (int c = 'A'; c <= 'F'; ++c) {
        table[c] = static_cast<int8_t>(c - 'A' + 10);
        table[c + ('a' - 'A')] = static_cast<int8_t>(c - 'A' + 10);
    }
    return table;
}
constexpr std::array<int8_t, 256> kHexDigit = MakeHexDigitTable();

// Token separators: the characters isspace() accepts in the C locale.
constexpr std::array<bool, 256> MakeBlankTable() {
    std::array<bool, 256> table{};
    for (char c : {' ', '\t', '\n', '\v', '\f', '\r'}) {
        table[static_cast<unsigned char>(c)] = true;
    }
    return table;
}
constexpr std::array<bool, 256> kBlank = MakeBlankTable();

inline bool IsBlank(char c) {
    return kBlank[static_cast<unsigned char>(c)];
}

struct FileCloser {
    void operator()(FILE* file) const { fclose(file); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Only a regular file can be read twice, once per pass. A FIFO would block
// the open until some writer came, and a device could deliver other bytes
// the second time; both count as files that cannot be opened.
bool IsRegularFile(const char* name) {
    std::error_code error;
    return name != nullptr && std::filesystem::is_regular_file(name, error);
}

bool SeekTo(FILE* file, uint32_t position) {
#ifdef _WIN32
    return _fseeki64(file, static_cast<long long>(position), SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(position), SEEK_SET) == 0;
#endif
}

// Splits a stream into whitespace-separated tokens the way fscanf("%1023s")
// does, including when the end-of-file indication comes up: only a read that
// runs into the end of the file sets it, so a file that ends in a line break
// yields one more, empty, token.
class TokenReader {
  public:
    explicit TokenReader(FILE* file) : file_(file) {}

    bool AtEnd() const { return atEnd_; }
    bool Failed() const { return failed_; }

    // Skips blanks and copies up to kMaxToken characters into token (not
    // terminated). Returns the length, 0 when the file ended first.
    size_t Next(char* token) {
        for (;;) {
            while (pos_ < len_ && IsBlank(chunk_[pos_])) {
                ++pos_;
            }
            if (pos_ < len_) {
                break;
            }
            if (!Refill()) {
                return 0;
            }
        }
        size_t length = 0;
        for (;;) {
            length += TakeRun(token + length, kMaxToken - length);
            // At the width limit nothing more is read, so a token that
            // exactly reaches the end of the file does not yet see it.
            if (length == kMaxToken || pos_ < len_ || !Refill()) {
                return length;
            }
        }
    }

  private:
    // Copies the non-blank characters from the chunk's position on, at most
    // room of them, in one piece. The end is found on local indexes first:
    // a character-wise copy through token, which may alias anything, would
    // store and reload the position on every character.
    size_t TakeRun(char* token, size_t room) {
        const size_t start = pos_;
        const size_t limit = start + std::min(room, len_ - start);
        size_t end = start;
        while (end < limit && !IsBlank(chunk_[end])) {
            ++end;
        }
        memcpy(token, chunk_ + start, end - start);
        pos_ = end;
        return end - start;
    }

    bool Refill() {
        pos_ = 0;
        len_ = fread(chunk_, 1, sizeof chunk_, file_);
        if (len_ != 0) {
            return true;
        }
        atEnd_ = true;
        // A read error ends the input as well; the parser reports it instead
        // of taking a truncated file as complete.
        failed_ = ferror(file_) != 0;
        return false;
    }

    FILE* file_;
    size_t pos_ = 0;
    size_t len_ = 0;
    bool atEnd_ = false;
    bool failed_ = false;
    char chunk_[kReadChunk];
};

// Everything one parser call needs besides the token at hand.
struct ParseJob {
    FILE* temp = nullptr; // temporary image file (no buffer, capacity != 0)
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    uint32_t base = 0;
    uint32_t extendedOffset = 0;
    uint32_t lowest = kNoLowest;
    uint32_t highest = 0;
    bool end = false;
};

uint8_t StoreDataRecord(ParseJob& job, const uint8_t* bytes, size_t pairs) {
    const uint32_t count = bytes[0];
    // A record without data bytes sets no address, so it must not move the
    // image bounds either.
    if (count == 0) {
        return HEX_OK;
    }
    // The byte count is trusted only as far as the token really holds the
    // bytes it announces (plus the checksum); reading on would take
    // characters that belong to no record.
    if (pairs < kHeaderBytes + count + 1) {
        return HEX_SYNTAX_ERROR;
    }
    const uint32_t address = (uint32_t{bytes[1]} << 8) | bytes[2];
    // Addresses are added in 64 bits: the end address (last byte + 1) has to
    // fit into 32 bits, so a byte at 0xFFFFFFFF or a record that would wrap
    // around to 0 is refused rather than folded onto low addresses.
    const uint64_t absolute = uint64_t{job.extendedOffset} + address;
    if (absolute + count > 0xFFFFFFFFu) {
        return HEX_BUFFER_SIZE_ERROR;
    }
    const uint32_t relative = static_cast<uint32_t>(absolute) - job.base;
    if (job.capacity != 0 && relative > job.capacity) {
        return HEX_BUFFER_OVERFLOW;
    }
    const uint64_t last = uint64_t{relative} + count - 1;
    if (job.capacity == 0 && last >= 0xFFFFFFFFu) {
        // Only with a base above the data: the reported end would not fit.
        return HEX_BUFFER_SIZE_ERROR;
    }
    if (last > job.highest) {
        job.highest = static_cast<uint32_t>(last);
    }
    // The lowest address is kept as an absolute one in both passes and so is
    // compared as one (a relative address is compared with it nowhere).
    if (absolute < job.lowest) {
        job.lowest = static_cast<uint32_t>(absolute);
    }
    if (job.capacity == 0) {
        return HEX_OK;
    }
    // Compared record by record in 64 bits, so nothing lands beyond the end.
    if (last >= job.capacity) {
        return HEX_BUFFER_SIZE_ERROR;
    }
    const uint8_t* data = bytes + kHeaderBytes;
    if (job.buffer != nullptr) {
        memcpy(job.buffer + relative, data, count);
        return HEX_OK;
    }
    // The temporary file could not take the bytes: it is as unusable as one
    // that could not be created.
    if (!SeekTo(job.temp, relative) || fwrite(data, 1, count, job.temp) != count) {
        return HEX_CREATE_FILE_ERROR;
    }
    return HEX_OK;
}

uint8_t ParseRecord(ParseJob& job, const char* token, size_t length) {
    if (token[0] != ':' || length < kMinRecordChars) {
        return HEX_SYNTAX_ERROR;
    }
    // Decode every character pair after the colon once; the checksum covers
    // all of them, an odd trailing character is left out. A character that is
    // no hex digit makes the record unreadable, whatever its checksum says.
    uint8_t bytes[kMaxToken / 2];
    const size_t pairs = (length - 1) / 2;
    uint8_t sum = 0;
    const char* text = token + 1;
    for (size_t i = 0; i < pairs; ++i) {
        const int high = kHexDigit[static_cast<unsigned char>(text[2 * i])];
        const int low = kHexDigit[static_cast<unsigned char>(text[2 * i + 1])];
        if ((high | low) < 0) {
            return HEX_SYNTAX_ERROR;
        }
        bytes[i] = static_cast<uint8_t>((high << 4) | low);
        sum = static_cast<uint8_t>(sum + bytes[i]);
    }
    if (sum != 0) {
        return HEX_CHECKSUM_ERROR;
    }
    switch (bytes[3]) {
    case kData:
        return StoreDataRecord(job, bytes, pairs);
    case kEndOfFile:
        job.end = true;
        return HEX_OK;
    case kExtendedSegment:
    case kExtendedLinear: {
        // The four digits after the type are taken whatever the byte count
        // says, but they have to be there.
        if (pairs < kHeaderBytes + 2) {
            return HEX_SYNTAX_ERROR;
        }
        const uint32_t value = (uint32_t{bytes[4]} << 8) | bytes[5];
        job.extendedOffset = bytes[3] == kExtendedSegment ? value << 4 : value << 16;
        return HEX_OK;
    }
    case kStartSegment:
    case kStartLinear:
        // Entry points only: a memory image has no use for them. objcopy
        // writes a type 05 record into every image whose entry lies above
        // 1 MiB, the ARM boards' flash among them.
        return HEX_OK;
    default:
        return HEX_UNKNOWN_RECORD;
    }
}

// Creates (keep == 0) or opens the temporary image file; keep == 0 also
// writes `capacity` fill bytes to it.
uint8_t OpenTempFile(const char* tempName, uint32_t capacity, uint8_t keep, uint8_t fill,
                     FilePtr& temp) {
    if (tempName == nullptr) {
        return HEX_CREATE_FILE_ERROR;
    }
    if (keep != 0) {
        // Bytes the file does not set must keep the values already in the
        // temporary file, so it is opened for update, not truncated; it is
        // created when it is not there yet.
        temp.reset(fopen(tempName, "r+b"));
        if (!temp) {
            temp.reset(fopen(tempName, "w+b"));
        }
        return temp ? HEX_OK : HEX_CREATE_FILE_ERROR;
    }
    temp.reset(fopen(tempName, "wb"));
    if (!temp) {
        return HEX_CREATE_FILE_ERROR;
    }
    uint8_t chunk[kTempChunk];
    memset(chunk, fill, sizeof chunk);
    for (uint32_t left = capacity; left != 0;) {
        const size_t n = left < sizeof chunk ? left : sizeof chunk;
        if (fwrite(chunk, 1, n, temp.get()) != n) {
            return HEX_CREATE_FILE_ERROR;
        }
        left -= static_cast<uint32_t>(n);
    }
    return HEX_OK;
}

// Byte sum over the first `capacity` bytes of the temporary file, which is
// closed first and read back.
uint8_t SumTempFile(const char* tempName, uint32_t capacity, FilePtr& temp, uint32_t& sum) {
    if (fclose(temp.release()) != 0) {
        return HEX_TEMP_FILE_ERROR;
    }
    FilePtr in(fopen(tempName, "rb"));
    if (!in) {
        return HEX_TEMP_FILE_ERROR;
    }
    uint8_t chunk[kTempChunk];
    for (uint32_t left = capacity; left != 0;) {
        const size_t want = left < sizeof chunk ? left : sizeof chunk;
        const size_t n = fread(chunk, 1, want, in.get());
        for (size_t i = 0; i < n; ++i) {
            sum += chunk[i];
        }
        if (n != want) {
            break;
        }
        left -= static_cast<uint32_t>(n);
    }
    return HEX_OK;
}

// Both passes. `input` is an open stream, or null to open inputName; the
// files opened here are closed on every way out (FilePtr).
uint8_t ParseHex(FILE* input, const char* inputName, const char* tempName, uint8_t* buffer,
                 uint32_t capacity, uint8_t keep, uint8_t fill, uint32_t base,
                 HexParseOutput* out) {
    ParseJob job;
    job.buffer = buffer;
    job.capacity = capacity;
    job.base = base;

    FilePtr temp;
    if (capacity != 0) {
        if (buffer != nullptr) {
            if (keep == 0) {
                memset(buffer, fill, capacity);
            }
        } else {
            const uint8_t code = OpenTempFile(tempName, capacity, keep, fill, temp);
            if (code != HEX_OK) {
                return code;
            }
            job.temp = temp.get();
        }
    }

    FilePtr ownInput;
    if (input == nullptr) {
        ownInput.reset(IsRegularFile(inputName) ? fopen(inputName, "r") : nullptr);
        if (!ownInput) {
            return HEX_OPEN_INPUT_ERROR;
        }
        input = ownInput.get();
    }

    TokenReader reader(input);
    char token[kMaxToken];
    uint32_t recordCount = 0;
    while (!reader.AtEnd() && !job.end) {
        const size_t length = reader.Next(token);
        ++recordCount;
        // A read error is reported like an input that cannot be opened.
        if (reader.Failed()) {
            return HEX_OPEN_INPUT_ERROR;
        }
        if (length == 0) {
            continue;
        }
        const uint8_t code = ParseRecord(job, token, length);
        if (code != HEX_OK) {
            return code;
        }
    }

    uint32_t byteSum = 0;
    if (capacity != 0) {
        if (buffer != nullptr) {
            for (uint32_t i = 0; i < capacity; ++i) {
                byteSum += buffer[i];
            }
        } else {
            const uint8_t code = SumTempFile(tempName, capacity, temp, byteSum);
            if (code != HEX_OK) {
                return code;
            }
        }
    } else {
        ++job.highest;
    }

    if (out != nullptr) {
        out->lowest = job.lowest;
        out->highest = job.highest;
        out->byteSum = byteSum;
        out->recordCount = recordCount;
    }
    return HEX_OK;
}

} // namespace

uint8_t ParseHexFile(const char* inputName, const char* tempName, uint8_t* buffer,
                     uint32_t capacity, uint8_t keep, uint8_t fill, uint32_t base,
                     HexParseOutput* out) {
    return ParseHex(nullptr, inputName, tempName, buffer, capacity, keep, fill, base, out);
}

uint8_t ParseHexStream(FILE* input, const char* tempName, uint8_t* buffer, uint32_t capacity,
                       uint8_t keep, uint8_t fill, uint32_t base, HexParseOutput* out) {
    if (input == nullptr) {
        return HEX_OPEN_INPUT_ERROR;
    }
    return ParseHex(input, nullptr, tempName, buffer, capacity, keep, fill, base, out);
}

uint8_t ScanHexFile(const char* name, uint32_t* lowest, uint32_t* end) {
    HexParseOutput out;
    const uint8_t code = ParseHexFile(name, "", nullptr, 0, 0, 0xFF, 0, &out);
    if (code == HEX_OK) {
        *lowest = out.lowest;
        *end = out.highest;
    }
    return code;
}

uint32_t ReadHexImage(const char* name, uint8_t keep, uint8_t** buffer, uint32_t* size,
                      uint32_t* base) {
    uint32_t lowest = 0;
    uint32_t end = 0;
    if (ScanHexFile(name, &lowest, &end) != HEX_OK) {
        return HEX_IMAGE_SCAN_PASS_FAILED;
    }
    // A file without a single data byte has no image to make.
    if (lowest == kNoLowest) {
        return HEX_IMAGE_SCAN_PASS_FAILED;
    }
    // end > lowest here: the scan refuses data whose end would not fit.
    const uint32_t needed = end - lowest;
    // Checked before anything is allocated, in both modes; it also keeps
    // needed + 3 from wrapping.
    if (needed > kHexImageMaxSize) {
        return HEX_IMAGE_NO_MEMORY_FOR_NEW;
    }
    const uint32_t capacity = needed + kHexImageSpareBytes;

    uint8_t* image = nullptr;
    bool allocated = false;
    uint32_t imageSize = needed;
    if (keep == 0) {
        image = static_cast<uint8_t*>(malloc(capacity));
        if (image == nullptr) {
            return HEX_IMAGE_NO_MEMORY_FOR_NEW;
        }
        allocated = true;
    } else if (*buffer != nullptr && *size >= needed) {
        image = *buffer;
        imageSize = *size;
    } else {
        // Also taken for a kept image that does not exist yet (null buffer),
        // whatever size the caller claims for it.
        image = static_cast<uint8_t*>(malloc(capacity));
        if (image == nullptr) {
            return HEX_IMAGE_NO_MEMORY_TO_GROW_KEPT;
        }
        allocated = true;
        memset(image, 0xFF, capacity);
        if (*buffer != nullptr && *size != 0) {
            memcpy(image, *buffer, *size);
        }
    }

    HexParseOutput ignored;
    if (ParseHexFile(name, nullptr, image, capacity, keep, 0xFF, lowest, &ignored) != HEX_OK) {
        if (allocated) {
            free(image);
        }
        return HEX_IMAGE_FILL_PASS_FAILED;
    }
    *buffer = image;
    *size = imageSize;
    *base = lowest;
    return HEX_IMAGE_READY;
}

uint32_t HexFieldValue(const char* text, uint8_t digits) {
    // Left to right, value * 16 + digit: the same sum of digit * 16^k as
    // walking from the last character, in 32-bit arithmetic.
    uint32_t value = 0;
    for (uint8_t i = 0; i < digits; ++i) {
        const int digit = kHexDigit[static_cast<unsigned char>(text[i])];
        value = value * 16 + static_cast<uint32_t>(digit < 0 ? 0 : digit);
    }
    return value;
}

const char* HexFileErrorText(uint32_t code) {
    static constexpr const char* kTexts[] = {
        " No error",
        " Create file error",
        " Open input file error",
        " Record checksum error",
        " Buffer size error",
        nullptr, // no code 5: see HexParseResult
        " Unknown record type",
        " Syntax error",
        " Temp file Error",
        " Buffer overflow error",
    };
    const uint32_t index = code & 0xFF;
    return index < sizeof kTexts / sizeof kTexts[0] ? kTexts[index] : nullptr;
}

long FileLength(FILE* file) {
    const long position = ftell(file);
    if (position < 0 || fseek(file, 0, SEEK_END) != 0) {
        return -1;
    }
    const long length = ftell(file);
    fseek(file, position, SEEK_SET);
    return length;
}
