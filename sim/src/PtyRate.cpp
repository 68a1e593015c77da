#include "PtyRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vtarget {

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
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    tio.c_ospeed = baudRate;
    tio.c_ispeed = baudRate;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace vtarget
