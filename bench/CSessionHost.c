#define _POSIX_C_SOURCE 200809L
/* One programming session through the C API alone, the way a C host runs
 * it: the callback keeps the outcome and wakes the waiting main thread at
 * STOP_PROGRAM_IND. python_bench.py runs the same session through the
 * Python package against it.
 *   c_session_host PORT TARGET-TYPE BAUD IMAGE
 * Prints "c_session_host: wall_ms=<call to stop> stop_ms=<the library's>
 * crc_ok=<0|1>". */
#include "ulvex.h"
#include "ulvex_port_path.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>

static pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t stopped = PTHREAD_COND_INITIALIZER;
static int done = 0;
static int crcOk = 0;
static uint32_t stopMs = 0;

static void ULVEX_CALL OnIndication(IndicationRecord* record) {
    pthread_mutex_lock(&mutex);
    if (record->code == CRC_OK_IND) {
        crcOk = 1;
    }
    if (record->code == STOP_PROGRAM_IND) {
        stopMs = record->param.longs[0];
        done = 1;
        pthread_cond_signal(&stopped);
    }
    pthread_mutex_unlock(&mutex);
}

static double NowMs(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec * 1e3 + (double)t.tv_nsec / 1e6;
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: c_session_host PORT TARGET-TYPE BAUD IMAGE\n");
        return 2;
    }
    const uint32_t comport = 254;
    if (ULVEX_SetPortPath(comport, argv[1]) == 0) {
        fprintf(stderr, "c_session_host: the port path is too long\n");
        return 2;
    }
    SetupCallbackFunction(OnIndication);
    const double start = NowMs();
    const uint32_t started = FlashLoader(comport, 2, (uint32_t)strtoul(argv[3], NULL, 10),
                                         (uint32_t)strtoul(argv[2], NULL, 10), argv[4], 1);
    if (started != FLASHLOADER_STARTED) {
        fprintf(stderr, "c_session_host: FlashLoader returned %u\n", (unsigned)started);
        return 1;
    }
    pthread_mutex_lock(&mutex);
    while (!done) {
        pthread_cond_wait(&stopped, &mutex);
    }
    pthread_mutex_unlock(&mutex);
    printf("c_session_host: wall_ms=%.1f stop_ms=%u crc_ok=%d\n", NowMs() - start, (unsigned)stopMs,
           crcOk);
    return crcOk ? 0 : 1;
}
