#include "BusAccess.h"

// No module opens a port yet; the serial driver joins with the transport.
uint32_t CloseAccessPort() {
    return 1;
}
