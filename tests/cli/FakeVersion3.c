/* Stands in for a library of another major version: preloaded, its version
 * export is found before the real library's. */
#include <stdint.h>

uint32_t FLoaderDLLVersion(void);

uint32_t FLoaderDLLVersion(void) {
    return 0x00030000u;
}
