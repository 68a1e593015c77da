// The symbolic link under which users and tests find the board's port.
#pragma once

#include <string>

namespace vtarget {

// Points path at target. An existing symlink is replaced; any other file
// there is left alone and refused.
bool CreateLink(const std::string& path, const std::string& target, std::string& error);

// Removes path if it still points at target: another board may have taken
// the name over since.
void RemoveLink(const std::string& path, const std::string& target);

} // namespace vtarget
