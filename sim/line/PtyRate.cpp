#include "line/PtyRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vtarget {

namespace {

struct StandardRate {
    uint32_t rate;
    tcflag_t code;
};

constexpr StandardRate kStandardRates[] = {
    {1200, B1200},       {2400, B2400},       {4800, B4800},     {9600, B9600},
    {19200, B19200},     {38400, B38400},     {57600, B57600},   {115200, B115200},
    {230400, B230400},   {460800, B460800},   {921600, B921600}, {1000000, B1000000},
    {2000000, B2000000}, {4000000, B4000000},
};

// A standard rate is set by its own code, any other one as BOTHER. Programs
// that know only the standard codes (wine's serial layer, for one) can then
// read the line state of a port that runs at a standard rate.
tcflag_t RateCode(uint32_t baudRate) {
    for (const StandardRate& standard : kStandardRates) {
        if (standard.rate == baudRate) {
            return standard.code;
        }
    }
    return BOTHER;
}

} // namespace

bool ReadLineSettings(int fd, LineSettings& settings) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    settings.baudRate = tio.c_ospeed;
    settings.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
    settings.xonXoffOutput = (tio.c_iflag & IXON) != 0;
    return true;
}

bool SetLineRate(int fd, uint32_t baudRate) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_cflag &= ~(CBAUD | CIBAUD);
    tio.c_cflag |= RateCode(baudRate);
    tio.c_ospeed = baudRate;
    tio.c_ispeed = baudRate;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace vtarget
