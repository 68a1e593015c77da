/* Checks that the library found through find_package(Ulvex) is the one its
 * header describes. */
#include <ulvex.h>

#include <stdio.h>

int main(void) {
    const uint32_t version = FLoaderDLLVersion();
    printf("ulvex_version: library %u.%u, header %u.%u\n", ULVEX_VERSION_MAJOR(version),
           ULVEX_VERSION_MINOR(version), ULVEX_VERSION_MAJOR(ULVEX_VERSION),
           ULVEX_VERSION_MINOR(ULVEX_VERSION));
    return version == ULVEX_VERSION ? 0 : 1;
}
