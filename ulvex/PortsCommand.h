// `ulvex ports [--json]`: the serial ports of this machine, as a table for
// people or as one JSON array (docs/ulvex-ports.schema.json).
#pragma once

#include "SerialPorts.h"

#include <string>
#include <vector>

namespace ulvex {

std::string PortsTable(const std::vector<SerialPort>& ports);
std::string PortsJson(const std::vector<SerialPort>& ports);

// Lists the ports on standard output; 1 when they cannot be listed.
int RunPorts(bool json);

} // namespace ulvex
