// Which of this process's descriptors refer to a device: the check that a
// session left its port closed.
#pragma once

#include <cstddef>
#include <string>

namespace campaign {

// Descriptors in /proc/self/fd whose target is the path (a /dev/pts/N).
size_t DescriptorsOn(const std::string& devicePath);

} // namespace campaign
