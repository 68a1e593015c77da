// The remote ports open in the process, found by their handle (the
// socket's descriptor), so that the platform calls of the serial driver
// can tell them from local devices.
#pragma once

#include "frame/PortHandle.h"
#include "serial/PortAddress.h"
#include "serial/RemotePort.h"

#include <string>

namespace remote {

// Connects; kNoPort with errno set and why in reason when it cannot.
PortHandle OpenPort(const PortAddress& address, const std::string& url, std::string& reason);
// The remote port of a handle; nothing for a local device.
RemotePort* FindPort(PortHandle handle);
// Closes the connection of a remote port's handle.
void ClosePort(PortHandle handle);

} // namespace remote
