#include "line/Pty.h"

#include "line/PtyRate.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vtarget {

namespace {

std::string SystemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// Raw 8N1: no echo, no line editing, no translation. Master and slave
// share these settings, so setting them once covers both ends.
bool MakeRaw(int fd) {
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

} // namespace

Pty::~Pty() {
    Close();
}

bool Pty::Open(uint32_t baudRate, std::string& error) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) {
        error = SystemError("posix_openpt");
        return false;
    }
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) {
        error = SystemError("unlockpt");
        return false;
    }
    if (!OpenSlave(error)) {
        return false;
    }
    if (!MakeRaw(slave_) || !SetLineRate(slave_, baudRate)) {
        error = SystemError("setting the pseudo-terminal raw");
        return false;
    }
    return true;
}

bool Pty::OpenSlave(std::string& error) {
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) {
        error = SystemError("ptsname_r");
        return false;
    }
    slavePath_ = name;
    slave_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) {
        error = SystemError(("open " + slavePath_).c_str());
        return false;
    }
    return true;
}

void Pty::Close() {
    for (int* fd : {&master_, &slave_}) {
        if (*fd >= 0) {
            close(*fd);
            *fd = -1;
        }
    }
}

} // namespace vtarget
