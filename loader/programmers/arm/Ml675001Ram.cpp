// The ML675001's internal RAM (target type 15): no monitor. The session's
// file goes unchanged, byte for byte, to the boot ROM by the same download
// exchange that brings up the monitor of type 14; the ROM loads it and
// starts it. The ROM reads Intel HEX text, so that is what the file holds,
// but the PC neither reads nor checks it.
#include "boot/BootLoader.h"
#include "frame/Indication.h"
#include "programmers/Programmers.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr uint16_t kRamTargetType = 15;
constexpr uint32_t kFileUnreadable = 1;
constexpr uint32_t kNoMemory = 19;
// The buffer is this much longer than the file.
constexpr uint32_t kBufferSpare = 10;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
struct BufferFree {
    void operator()(uint8_t* buffer) const { std::free(buffer); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;
using Buffer = std::unique_ptr<uint8_t, BufferFree>;

// The file's length; nothing when it cannot be told.
bool LengthOf(std::FILE* file, long& length) {
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return false;
    }
    length = std::ftell(file);
    return length >= 0 && std::fseek(file, 0, SEEK_SET) == 0;
}

// Reads up to capacity bytes; a file that shrank since its length was taken
// gives fewer.
uint32_t ReadInto(std::FILE* file, uint8_t* buffer, uint32_t capacity) {
    uint32_t count = 0;
    for (int c; count < capacity && (c = std::fgetc(file)) != EOF;) {
        buffer[count++] = static_cast<uint8_t>(c);
    }
    return count;
}

// The whole file in a buffer of its own: 0, 1 when it cannot be read, 19
// when there is no memory for it.
uint32_t LoadFile(const char* filename, Buffer& buffer, uint32_t& length) {
    FileHandle file(std::fopen(filename, "rb"));
    long fileLength = 0;
    if (!file || !LengthOf(file.get(), fileLength)) {
        return kFileUnreadable;
    }
    if (static_cast<unsigned long>(fileLength) > UINT32_MAX - kBufferSpare) {
        return kNoMemory;
    }
    const auto capacity = static_cast<uint32_t>(fileLength);
    buffer.reset(static_cast<uint8_t*>(std::malloc(capacity + kBufferSpare)));
    if (!buffer) {
        return kNoMemory;
    }
    length = ReadInto(file.get(), buffer.get(), capacity);
    return 0;
}

} // namespace

int Ml675001RamSession(const SessionParams& session) {
    Buffer buffer;
    uint32_t length = 0;
    if (const uint32_t code = LoadFile(session.filename, buffer, length)) {
        return static_cast<int>(code);
    }
    SendIndicationLong(PROGRAM_SIZE_IND, length);
    SendIndicationLong(PROGRAM_OFFSET_IND, 0);
    if (session.targettype != kRamTargetType) {
        return 1;
    }
    const uint32_t result = Ml675001OpenDownloadClose(session.comport, session.busmode,
                                                      session.baudrate, buffer.get(), length);
    if (result == 0) {
        SendIndication(PROGRAMMING_SUCCESS_IND);
    } else {
        SendIndicationWord(MAIL_ERROR_IND, static_cast<uint16_t>(result));
    }
    return static_cast<int>(result);
}
