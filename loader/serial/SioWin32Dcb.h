// The driver's device control record and the Windows DCB, member for
// member. The flag word of DeviceControl has the DCB's bit-field layout, but
// the bit fields are set one by one: the compiler, not this file, decides
// how they are packed.
#pragma once

#include "serial/SioPlatform.h"

#include <windows.h>

DCB ToWindowsDcb(const DeviceControl& control);
DeviceControl FromWindowsDcb(const DCB& dcb);
