#include "serial/SioPosixLineTime.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace platform {

namespace {

// Character-device majors of the Unix 98 pseudo-terminal slaves.
constexpr unsigned kPtySlaveMajorFirst = 136;
constexpr unsigned kPtySlaveMajorLast = 143;

struct KnownLine {
    int fd = -1;
    bool pseudo = false;
    uint64_t bitsPerByte = 10;
    uint64_t rate = 0;
};

thread_local KnownLine known;

KnownLine Learn(int fd) {
    KnownLine line;
    line.fd = fd;
    line.pseudo = IsPseudoTerminal(fd);
    termios2 t{};
    if (line.pseudo && ::ioctl(fd, TCGETS2, &t) == 0) {
        line.rate = t.c_ospeed;
        line.bitsPerByte = (t.c_cflag & CSTOPB) != 0 ? 11 : 10;
    }
    return line;
}

} // namespace

bool IsPseudoTerminal(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode)) {
        return false;
    }
    const unsigned devMajor = major(st.st_rdev);
    return devMajor >= kPtySlaveMajorFirst && devMajor <= kPtySlaveMajorLast;
}

// A start bit, eight data bits and one or two stop bits per byte.
std::optional<std::chrono::microseconds> PseudoLineTime(int fd, uint32_t count) {
    if (known.fd != fd) {
        known = Learn(fd);
    }
    if (!known.pseudo) {
        return std::nullopt;
    }
    if (known.rate == 0) {
        return std::chrono::microseconds(0);
    }
    return std::chrono::microseconds(count * known.bitsPerByte * 1000000 / known.rate);
}

void ForgetLineTime() {
    known = {};
}

} // namespace platform
