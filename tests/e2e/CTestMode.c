#define _POSIX_C_SOURCE 200809L
/* A host written in C against the public header alone: test mode on a board
 * named by ULVEX_COM<port>. Starts the monitor, writes and reads memory,
 * checks the board's CRC32 against its own and stops test mode.
 *   c_test_mode <comport> <target type> */
#include "ulvex.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int Fail(const char* what, uint32_t code) {
    fprintf(stderr, "c_test_mode: FAILED: %s (%u)\n", what, (unsigned)code);
    TM_CloseAccessPort();
    TM_StopTestMode();
    return 1;
}

/* CRC-32 of IEEE 802.3, bit by bit: independent of the library's tables. */
static uint32_t Crc32(const uint8_t* bytes, size_t count) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < count; ++i) {
        crc ^= bytes[i];
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: c_test_mode <comport> <target type>\n");
        return 2;
    }
    const uint32_t comport = (uint32_t)strtoul(argv[1], NULL, 10);
    const uint32_t type = (uint32_t)strtoul(argv[2], NULL, 10);
    const uint32_t address = 0x3000;
    uint8_t data[300];
    for (size_t i = 0; i < sizeof data; ++i) {
        data[i] = (uint8_t)(i * 7 + 3);
    }

    TM_InitTestMode(7);
    uint32_t r = TM_StartMonitorProgram(comport, 2, 115200, type);
    if (r != 0) {
        return Fail("monitor start", r);
    }
    if ((r = TM_WriteMemory8(address, sizeof data, data)) != MAIL_NO_ERROR) {
        return Fail("write", r);
    }
    uint8_t back[sizeof data];
    memset(back, 0, sizeof back);
    if ((r = TM_ReadMemory8(address, sizeof back, back)) != MAIL_NO_ERROR) {
        return Fail("read", r);
    }
    if (memcmp(back, data, sizeof data) != 0) {
        return Fail("read back differs", 0);
    }
    uint32_t crc = 0;
    if ((r = TM_CalcCRC32(address, address + sizeof data - 1, &crc)) != MAIL_NO_ERROR) {
        return Fail("CRC32", r);
    }
    if (crc != Crc32(data, sizeof data)) {
        return Fail("the board's CRC32 differs from ours", crc);
    }
    TM_CloseAccessPort();
    TM_StopTestMode();
    printf("c_test_mode: ok\n");
    return 0;
}
