// The extension export that maps a COM port number to a device path or URL.
#include "frame/PortPaths.h"

#include <ulvex_port_path.h>

static_assert(ULVEX_PORT_PATH_MAX == kMaxPortPath);

extern "C" {

ULVEX_API uint32_t ULVEX_CALL ULVEX_SetPortPath(uint32_t comport, const char* path) {
    return SetPortPath(comport, path == nullptr ? std::string() : std::string(path)) ? 1 : 0;
}

} // extern "C"
