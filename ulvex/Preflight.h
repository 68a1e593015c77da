// The check of every port before any session starts: a port that will not
// open is reported with what to do about it, not with a failed session.
// Local devices are opened and closed again; remote ports are not probed
// by connecting (a server may open and reset the board for every
// connection), only their host name is resolved.
#pragma once

#include "Arguments.h"

#include <string>

namespace ulvex {

// "" when the port looks usable, else the message for the user.
std::string CheckPort(const PortArgument& port);

} // namespace ulvex
