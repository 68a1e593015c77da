#define _POSIX_C_SOURCE 200809L
/* A host written in C against the public header: registers a callback, runs
 * one session through the shared library and checks its bracket. */
#include "ulvex.h"
#include "ulvex_open_failure.h"

#include <stdatomic.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

_Static_assert(offsetof(IndicationRecord, sessionid) == 2, "sessionid at offset 2");
_Static_assert(offsetof(IndicationRecord, param) == 4, "parameters at offset 4");
_Static_assert(sizeof(IndicationRecord) == 516, "record of 516 bytes");

static atomic_int startSeen;
static atomic_int stopSeen;
static atomic_int wrongSession;

static void ULVEX_CALL OnIndication(IndicationRecord* record) {
    if (record->sessionid != 42) {
        atomic_store(&wrongSession, 1);
    }
    if (record->code == START_PROGRAM_IND && record->param.longs[0] == ULVEX_VERSION) {
        atomic_store(&startSeen, 1);
    }
    if (record->code == STOP_PROGRAM_IND) {
        atomic_store(&stopSeen, 1);
    }
}

static int Fail(const char* what) {
    fprintf(stderr, "c_host: FAILED: %s\n", what);
    return 1;
}

int main(void) {
    char name[] = "/tmp/ulvex-c-host-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0) {
        return Fail("cannot create the HEX file");
    }
    FILE* file = fdopen(fd, "w");
    fputs(":0400000001020304F2\n:00000001FF\n", file);
    fclose(file);

    if (ULVEX_VERSION_MAJOR(FLoaderDLLVersion()) != 2) {
        return Fail("major version is not 2");
    }
    if (SetupCallbackFunction(OnIndication) != CALLBACK_REGISTERED ||
        ReadCallbackFunction() != OnIndication) {
        return Fail("callback not registered");
    }
    if (FlashLoader(1, 2, 115200, 0, name, 42) != FLASHLOADER_STARTED) {
        return Fail("session did not start");
    }
    struct timespec pause = {0, 10 * 1000 * 1000};
    for (int i = 0; i < 1000 && !atomic_load(&stopSeen); ++i) {
        nanosleep(&pause, NULL);
    }
    remove(name);
    if (!atomic_load(&startSeen) || !atomic_load(&stopSeen) || atomic_load(&wrongSession)) {
        return Fail("session not bracketed by START and STOP with its id");
    }
    puts("c_host: session bracketed");

    /* A session id that never ran has no open failure. */
    UlvexOpenFailure failure;
    memset(&failure, 0x55, sizeof failure);
    if (ULVEX_GetLastOpenFailure(4242, &failure) != 0 || failure.port[0] != 0 ||
        ULVEX_GetLastOpenFailure(42, NULL) != 0) {
        return Fail("open failure reported for a session without one");
    }

    /* A null callback is stored and reported on the debug output. */
    if (SetupCallbackFunction(NULL) != CALLBACK_NULL || ReadCallbackFunction() != NULL) {
        return Fail("null callback not refused");
    }
    puts("c_host: ok");
    return 0;
}
