// The extension export that tells why a session's port did not open.
#include "frame/OpenFailures.h"

#include <cstring>
#include <ulvex_open_failure.h>

static_assert(sizeof(UlvexOpenFailure) == sizeof(OpenFailure));

extern "C" {

ULVEX_API uint32_t ULVEX_CALL ULVEX_GetLastOpenFailure(uint32_t sessionid,
                                                       UlvexOpenFailure* failure) {
    if (failure == nullptr) {
        return 0;
    }
    std::memset(failure, 0, sizeof *failure);
    OpenFailure found;
    if (!FindOpenFailure(static_cast<uint16_t>(sessionid), found)) {
        return 0;
    }
    std::memcpy(failure->port, found.port, sizeof failure->port);
    std::memcpy(failure->tried, found.tried, sizeof failure->tried);
    std::memcpy(failure->reason, found.reason, sizeof failure->reason);
    return 1;
}

} // extern "C"
