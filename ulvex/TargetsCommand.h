// `ulvex targets [--json]`: every target type, as a table for people or as
// one JSON array (docs/ulvex-targets.schema.json).
#pragma once

#include <string>

namespace ulvex {

std::string TargetsTable();
std::string TargetsJson();

} // namespace ulvex
