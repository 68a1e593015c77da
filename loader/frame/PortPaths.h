// The paths hosts mapped to COM port numbers, process-wide and safe to set
// from any thread while sessions open their ports.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

constexpr size_t kMaxPortPath = 255;

// False (nothing changed) for a port outside 1..254 or a path too long;
// an empty path removes the mapping.
bool SetPortPath(uint32_t port, const std::string& path);
std::optional<std::string> MappedPortPath(uint32_t port);
