#include "PcRate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool SetPortRate(int fd, uint32_t baudRate, bool twoStopBits) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_cflag &= ~(CBAUD | CSTOPB);
    tio.c_cflag |= BOTHER | (twoStopBits ? CSTOPB : 0);
    tio.c_ospeed = baudRate;
    tio.c_ispeed = baudRate;
    return ioctl(fd, TCSETS2, &tio) == 0;
}

bool SetPortXonXoff(int fd, bool on) {
    struct termios2 tio {};
    if (ioctl(fd, TCGETS2, &tio) != 0) {
        return false;
    }
    tio.c_iflag = on ? (tio.c_iflag | IXON) : (tio.c_iflag & ~IXON);
    return ioctl(fd, TCSETS2, &tio) == 0;
}
