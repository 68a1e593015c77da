/*
 * Ulvex extension: the device behind a COM port number.
 *
 * The library's functions name ports by number (COM1 to COM254). On Linux
 * COM n is the path in the environment variable ULVEX_COM<n>, else
 * /dev/ttyS<n-1>; on Windows it is \\.\COMn. A host that knows its ports by
 * path or URL (/dev/ttyUSB0, /dev/serial/by-id/..., rfc2217://host:port)
 * maps them here instead, from any thread, while sessions run: a session
 * reads the mapping when it opens its port. A mapping set here comes before
 * the environment. It is not one of the library's original exports and sits
 * beside them in a header of its own.
 */
#ifndef ULVEX_PORT_PATH_H
#define ULVEX_PORT_PATH_H

#include "ulvex.h"

#ifdef __cplusplus
extern "C" {
#endif

#define ULVEX_PORT_PATH_MAX 255 /* characters, without the terminator */

/* Maps COM comport (1..254) to path; a null or empty path removes the
 * mapping. Returns 1, or 0 (nothing changed) for a port out of range or a
 * path longer than ULVEX_PORT_PATH_MAX. */
ULVEX_API uint32_t ULVEX_CALL ULVEX_SetPortPath(uint32_t comport, const char* path);

#ifdef __cplusplus
}
#endif

#endif /* ULVEX_PORT_PATH_H */
