// The platform debug output on Linux: the local syslog.
#include "frame/TraceSink.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/socket.h>
#include <sys/un.h>
#include <syslog.h>
#include <unistd.h>

// One datagram to the local syslog socket, so the library gets its own ident
// without calling openlog(), which would change the host's ident as well.
void WriteDebugOutput(const char* line) {
    int fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, "/dev/log", sizeof address.sun_path - 1);

    char stamp[32] = "";
    time_t now = time(nullptr);
    struct tm local {};
    if (localtime_r(&now, &local) != nullptr) {
        strftime(stamp, sizeof stamp, "%b %e %H:%M:%S", &local);
    }
    char message[768];
    int length = std::snprintf(message, sizeof message, "<%d>%s ulvex[%d]: %s",
                               LOG_USER | LOG_WARNING, stamp, static_cast<int>(getpid()), line);
    if (length > 0) {
        size_t size = std::min(static_cast<size_t>(length), sizeof message - 1);
        sendto(fd, message, size, MSG_DONTWAIT | MSG_NOSIGNAL,
               reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    close(fd);
}
