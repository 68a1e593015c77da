/*
 * Ulvex extension: why a port did not open.
 *
 * COM_PORT_ACCESS_FAIL_IND says that the port of a session or of test mode
 * did not open; this function says why: the port as the host named it, the
 * device path or remote URL tried for it (ULVEX_COM<n> on Linux), and the
 * system's reason. It is not one of the library's original exports and sits
 * beside them in a header of its own.
 */
#ifndef ULVEX_OPEN_FAILURE_H
#define ULVEX_OPEN_FAILURE_H

#include "ulvex.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct UlvexOpenFailure {
    char port[16];    /* "COM3" */
    char tried[256];  /* "/dev/ttyUSB0", "rfc2217://rack-7:4001", "\\.\COM3" */
    char reason[256]; /* "Connection refused", "the server turned the connection away: ..." */
} UlvexOpenFailure;

/* Copies the last failed open of the session or test mode with this id
 * (the sessionid given to FlashLoader or TM_InitTestMode) into *failure and
 * returns 1. A new session or test mode with the id starts without one.
 * Returns 0, with *failure zeroed, when it has none; 0 for a null pointer.
 * Texts are zero-terminated, cut to fit. */
ULVEX_API uint32_t ULVEX_CALL ULVEX_GetLastOpenFailure(uint32_t sessionid,
                                                       UlvexOpenFailure* failure);

#ifdef __cplusplus
}
#endif

#endif /* ULVEX_OPEN_FAILURE_H */
